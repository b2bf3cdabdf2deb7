#include "support/deadvolume.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/fuse.h>
#include <sys/mount.h>
#include <unistd.h>
#include <vector>

DeadVolume::DeadVolume(const std::string& mountPoint) : m_mountPoint(mountPoint) {
    // Close-on-exec: a program the test starts must not hold the connection
    // open after the test has aborted it.
    m_fd = ::open("/dev/fuse", O_RDWR | O_CLOEXEC);
    if (m_fd < 0) {
        m_failure = std::string("/dev/fuse: ") + std::strerror(errno);
        return;
    }
    const std::string options =
        "fd=" + std::to_string(m_fd) + ",rootmode=40000,user_id=0,group_id=0";
    if (::mount("tolvane-dead", mountPoint.c_str(), "fuse", MS_NOSUID | MS_NODEV,
                options.c_str()) != 0) {
        m_failure = "mount fuse: " + std::string(std::strerror(errno));
        return;
    }
    m_mounted = true;
    // The kernel's first request is FUSE_INIT; the reading buffer must hold
    // the largest request it may send.
    std::vector<char> request(FUSE_MIN_READ_BUFFER + 1024 * 1024);
    const ssize_t n = ::read(m_fd, request.data(), request.size());
    fuse_in_header in{};
    fuse_init_in init{};
    if (n < static_cast<ssize_t>(sizeof in + sizeof init)) {
        m_failure = "no FUSE_INIT request";
        return;
    }
    std::memcpy(&in, request.data(), sizeof in);
    std::memcpy(&init, request.data() + sizeof in, sizeof init);
    struct {
        fuse_out_header header;
        fuse_init_out init;
    } reply{};
    reply.header.len = sizeof reply;
    reply.header.unique = in.unique;
    reply.init.major = FUSE_KERNEL_VERSION;
    reply.init.minor =
        init.minor < FUSE_KERNEL_MINOR_VERSION ? init.minor : FUSE_KERNEL_MINOR_VERSION;
    reply.init.max_readahead = init.max_readahead;
    reply.init.max_write = 4096;
    if (in.opcode != FUSE_INIT || ::write(m_fd, &reply, sizeof reply) != sizeof reply)
        m_failure = "FUSE_INIT not answered";
    // From here on no request is read: the volume is dead.
}

DeadVolume::~DeadVolume() {
    if (m_fd >= 0)
        ::close(m_fd); // the last descriptor of the connection: aborts it
    if (m_mounted)
        ::umount2(m_mountPoint.c_str(), MNT_DETACH);
}
