#pragma once
// A volume that stops answering: a FUSE file system whose server answers the
// kernel's first request and then nothing, as a hard-mounted share whose
// server is gone. Every call into it blocks until the volume goes away.
// Needs root (in a mount namespace of its own, so nothing leaks) and
// /dev/fuse.

#include <string>

class DeadVolume {
public:
    // Mounts the volume on the folder (which must exist and stay empty).
    explicit DeadVolume(const std::string& mountPoint);
    // Aborts the connection, so that every blocked call returns, and
    // detaches the mount.
    ~DeadVolume();
    DeadVolume(const DeadVolume&) = delete;
    DeadVolume& operator=(const DeadVolume&) = delete;

    bool mounted() const { return m_mounted; }
    // Why it could not be mounted.
    const std::string& failure() const { return m_failure; }

private:
    std::string m_mountPoint;
    std::string m_failure;
    int m_fd = -1;
    bool m_mounted = false;
};
