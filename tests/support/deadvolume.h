#pragma once
// Volumes that stop answering: FUSE file systems whose server stops
// answering the kernel, as a hard-mounted share whose server is gone. Every
// call into such a volume blocks until the volume goes away. Both need root
// (in a mount namespace of its own, so nothing leaks) and /dev/fuse.

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

// Answers the kernel's first request and then nothing.
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

protected:
    int m_fd = -1;

private:
    std::string m_mountPoint;
    std::string m_failure;
    bool m_mounted = false;
};

// Serves a small read-only tree of folders and files, and dies when a read
// of one file reaches its limit: from that request on nothing is answered.
// Reads bypass the page cache, so each read of the program reaches it.
class DyingVolume : public DeadVolume {
public:
    struct Entry {
        std::string path; // inside the volume, "a/b/c"; its folders listed before it
        std::string bytes;
        bool folder = false;
    };
    DyingVolume(const std::string& mountPoint, std::vector<Entry> entries, std::string dyingFile,
                std::uint64_t answeredBytes);
    ~DyingVolume();

    // Whether a read has reached the limit.
    bool died() const { return m_died; }
    // Stops serving and aborts the connection: every blocked call returns.
    void Abort();

private:
    void serve();
    void answer(const char* request, std::size_t length);
    void reply(std::uint64_t unique, int error, const void* body = nullptr, std::size_t size = 0);

    std::vector<Entry> m_entries; // inode i + 2 for entry i; the root is 1
    std::vector<std::uint64_t> m_parents;
    std::uint64_t m_dyingNode = 0;
    std::uint64_t m_answeredBytes = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_died{false};
    std::thread m_server;
};
