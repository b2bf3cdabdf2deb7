#pragma once
// A slow volume for tests and benchmarks: a FUSE file system that shows a
// real folder read-only and answers every request of the kernel only after a
// fixed latency, as a network share answers each metadata call after a round
// trip. Requests are answered concurrently, so that many calls in flight cost
// about one latency, not one each. Needs root and /dev/fuse; mount it in a
// mount namespace of its own, so that nothing leaks if the program dies.

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

// Opens a connection to the kernel's FUSE device (close-on-exec, so that a
// program a test starts does not keep it open) and mounts it on mountPoint
// under the given name. The descriptor, or -1 with the cause in failure; it
// stays open when the mount fails, for the caller to close.
int MountFuse(const std::string& mountPoint, const char* name, bool nonBlocking,
              std::string& failure, bool& mounted);

class LatencyVolume {
public:
    // Mounts a read-only view of source on mountPoint (an existing empty
    // folder); every request is answered after latency, by up to servers
    // threads at once. Its inode numbers are the source's plus inodeOffset
    // (a share that numbers its files itself).
    LatencyVolume(const std::string& mountPoint, const std::string& source,
                  std::chrono::microseconds latency = std::chrono::milliseconds(1),
                  int servers = 64, std::uint64_t inodeOffset = 0);
    // Stops the servers, aborts the connection (every call still waiting on
    // the volume returns with an error) and detaches the mount.
    ~LatencyVolume();
    LatencyVolume(const LatencyVolume&) = delete;
    LatencyVolume& operator=(const LatencyVolume&) = delete;

    bool mounted() const { return m_mounted; }
    // Why it could not be mounted or started; empty when it serves.
    const std::string& failure() const { return m_failure; }

    // Requests answered so far.
    std::uint64_t requests() const;
    // The most requests being served at one moment so far.
    int mostInFlight() const;

private:
    class Server;

    std::string m_mountPoint;
    std::string m_failure;
    bool m_mounted = false;
    int m_fd = -1;
    std::unique_ptr<Server> m_server;
    std::vector<std::thread> m_threads;
};
