#include "support/deadvolume.h"

#include "latencyvolume/latencyvolume.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/fuse.h>
#include <poll.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The largest request the kernel may send, with room to spare.
constexpr std::size_t kRequestBuffer = FUSE_MIN_READ_BUFFER + 1024 * 1024;

} // namespace

DeadVolume::DeadVolume(const std::string& mountPoint) : m_mountPoint(mountPoint) {
    m_fd = MountFuse(mountPoint, "tolvane-dead", false, m_failure, m_mounted);
    if (!m_mounted)
        return;
    // The kernel's first request is FUSE_INIT.
    std::vector<char> request(kRequestBuffer);
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

DyingVolume::DyingVolume(const std::string& mountPoint, std::vector<Entry> entries,
                         std::string dyingFile, std::uint64_t answeredBytes)
    : DeadVolume(mountPoint), m_entries(std::move(entries)), m_answeredBytes(answeredBytes) {
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        const std::string& path = m_entries[i].path;
        const std::size_t slash = path.rfind('/');
        std::uint64_t parent = FUSE_ROOT_ID;
        if (slash != std::string::npos) {
            const std::string folder = path.substr(0, slash);
            for (std::size_t j = 0; j < i; ++j) {
                if (m_entries[j].path == folder)
                    parent = j + 2;
            }
        }
        m_parents.push_back(parent);
        if (path == dyingFile)
            m_dyingNode = i + 2;
    }
    if (mounted() && failure().empty())
        m_server = std::thread([this] { serve(); });
}

DyingVolume::~DyingVolume() {
    Abort();
}

void DyingVolume::Abort() {
    m_stop = true;
    if (m_server.joinable())
        m_server.join();
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

void DyingVolume::serve() {
    std::vector<char> request(kRequestBuffer);
    while (!m_stop) {
        pollfd ready{m_fd, POLLIN, 0};
        if (m_died) {
            ::usleep(50 * 1000);
            continue;
        }
        if (::poll(&ready, 1, 50) <= 0)
            continue;
        const ssize_t n = ::read(m_fd, request.data(), request.size());
        if (n >= static_cast<ssize_t>(sizeof(fuse_in_header)))
            answer(request.data(), static_cast<std::size_t>(n));
        else if (n < 0 && errno != EINTR && errno != EAGAIN)
            return;
    }
}

void DyingVolume::reply(std::uint64_t unique, int error, const void* body, std::size_t size) {
    std::string out(sizeof(fuse_out_header) + size, '\0');
    fuse_out_header header{};
    header.len = static_cast<std::uint32_t>(out.size());
    header.error = -error;
    header.unique = unique;
    std::memcpy(out.data(), &header, sizeof header);
    if (size != 0)
        std::memcpy(out.data() + sizeof header, body, size);
    [[maybe_unused]] const ssize_t written = ::write(m_fd, out.data(), out.size());
}

void DyingVolume::answer(const char* request, std::size_t length) {
    fuse_in_header in{};
    std::memcpy(&in, request, sizeof in);
    const char* body = request + sizeof in;
    const std::size_t bodyLength = length - sizeof in;
    auto attrOf = [this](std::uint64_t node) {
        fuse_attr attr{};
        attr.ino = node;
        const bool folder = node == FUSE_ROOT_ID || m_entries[node - 2].folder;
        attr.mode = folder ? (S_IFDIR | 0755) : (S_IFREG | 0644);
        attr.nlink = folder ? 2 : 1;
        attr.size = folder ? 0 : m_entries[node - 2].bytes.size();
        attr.blocks = (attr.size + 511) / 512;
        attr.blksize = 4096;
        attr.mtime = attr.ctime = attr.atime = 1700000000;
        return attr;
    };
    auto known = [this](std::uint64_t node) {
        return node == FUSE_ROOT_ID || (node >= 2 && node - 2 < m_entries.size());
    };
    switch (in.opcode) {
    case FUSE_FORGET:
    case FUSE_BATCH_FORGET:
    case FUSE_INTERRUPT:
        return; // no answer expected
    case FUSE_LOOKUP: {
        const std::string name(body, strnlen(body, bodyLength));
        for (std::size_t i = 0; i < m_entries.size(); ++i) {
            const std::string& path = m_entries[i].path;
            if (m_parents[i] == in.nodeid && path.substr(path.rfind('/') + 1) == name) {
                fuse_entry_out entry{};
                entry.nodeid = i + 2;
                entry.generation = 1;
                entry.attr = attrOf(i + 2);
                return reply(in.unique, 0, &entry, sizeof entry);
            }
        }
        return reply(in.unique, ENOENT);
    }
    case FUSE_GETATTR: {
        if (!known(in.nodeid))
            return reply(in.unique, ENOENT);
        fuse_attr_out out{};
        out.attr = attrOf(in.nodeid);
        return reply(in.unique, 0, &out, sizeof out);
    }
    case FUSE_OPEN:
    case FUSE_OPENDIR: {
        fuse_open_out out{};
        out.fh = in.nodeid;
        out.open_flags = in.opcode == FUSE_OPEN ? FOPEN_DIRECT_IO : 0;
        return reply(in.unique, 0, &out, sizeof out);
    }
    case FUSE_READ: {
        fuse_read_in read{};
        std::memcpy(&read, body, std::min(bodyLength, sizeof read));
        if (!known(in.nodeid) || in.nodeid == FUSE_ROOT_ID)
            return reply(in.unique, EIO);
        if (in.nodeid == m_dyingNode && read.offset >= m_answeredBytes) {
            m_died = true;
            return;
        }
        const std::string& bytes = m_entries[in.nodeid - 2].bytes;
        const std::size_t from = std::min<std::size_t>(read.offset, bytes.size());
        const std::size_t count = std::min<std::size_t>(read.size, bytes.size() - from);
        return reply(in.unique, 0, bytes.data() + from, count);
    }
    case FUSE_READDIR: {
        fuse_read_in read{};
        std::memcpy(&read, body, std::min(bodyLength, sizeof read));
        std::vector<std::pair<std::uint64_t, std::string>> children{{in.nodeid, "."},
                                                                    {FUSE_ROOT_ID, ".."}};
        for (std::size_t i = 0; i < m_entries.size(); ++i) {
            if (m_parents[i] == in.nodeid)
                children.emplace_back(i + 2,
                                      m_entries[i].path.substr(m_entries[i].path.rfind('/') + 1));
        }
        std::string out;
        for (std::size_t i = read.offset; i < children.size(); ++i) {
            const std::string& name = children[i].second;
            fuse_dirent dirent{};
            dirent.ino = children[i].first;
            dirent.off = i + 1;
            dirent.namelen = static_cast<std::uint32_t>(name.size());
            dirent.type = attrOf(children[i].first).mode >> 12;
            std::string record(FUSE_DIRENT_SIZE(&dirent), '\0');
            std::memcpy(record.data(), &dirent, FUSE_NAME_OFFSET);
            std::memcpy(record.data() + FUSE_NAME_OFFSET, name.data(), name.size());
            if (out.size() + record.size() > read.size)
                break;
            out += record;
        }
        return reply(in.unique, 0, out.data(), out.size());
    }
    case FUSE_STATFS: {
        fuse_statfs_out out{};
        out.st.blocks = 1 << 20;
        out.st.bfree = out.st.bavail = 1 << 19;
        out.st.files = 1000;
        out.st.ffree = 900;
        out.st.bsize = out.st.frsize = 4096;
        out.st.namelen = 255;
        return reply(in.unique, 0, &out, sizeof out);
    }
    case FUSE_RELEASE:
    case FUSE_RELEASEDIR:
    case FUSE_FLUSH:
        return reply(in.unique, 0);
    default:
        return reply(in.unique, ENOSYS);
    }
}
