#include "latencyvolume/latencyvolume.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <linux/fuse.h>
#include <mutex>
#include <optional>
#include <poll.h>
#include <shared_mutex>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/uio.h>
#include <unistd.h>
#include <unordered_map>

namespace {

using Clock = std::chrono::steady_clock;

// Nothing is ever written to the volume, so the smallest write size the
// kernel accepts will do; the buffer holds any other request with room to
// spare (a request too long for it fails on its own, not the connection).
constexpr std::uint32_t kMaxWrite = 4096;
constexpr std::size_t kRequestBuffer = FUSE_MIN_READ_BUFFER + 64 * 1024;
// Names and attributes are cached by the kernel for this long: the files do
// not change while they are served, and a benchmark that reads them twice
// should see the second pass as a client with a warm cache would.
constexpr std::uint64_t kCacheSeconds = 60;
// How often a waiting server looks at the stop flag.
constexpr int kPollMilliseconds = 50;
// How long the kernel's first request may take to arrive after the mount.
constexpr int kInitMilliseconds = 5000;
// The largest read the kernel asks for is far smaller; this only bounds what
// a malformed request could make us allocate.
constexpr std::uint32_t kMostRead = 8 * 1024 * 1024;

template <typename T> T bodyAs(const char* body, std::size_t length) {
    T value{};
    std::memcpy(&value, body, std::min(length, sizeof value));
    return value;
}

fuse_attr attrOf(const struct stat& st, std::uint64_t inodeOffset) {
    fuse_attr attr{};
    attr.ino = st.st_ino + inodeOffset;
    attr.size = static_cast<std::uint64_t>(st.st_size);
    attr.blocks = static_cast<std::uint64_t>(st.st_blocks);
    attr.atime = static_cast<std::uint64_t>(st.st_atim.tv_sec);
    attr.mtime = static_cast<std::uint64_t>(st.st_mtim.tv_sec);
    attr.ctime = static_cast<std::uint64_t>(st.st_ctim.tv_sec);
    attr.atimensec = static_cast<std::uint32_t>(st.st_atim.tv_nsec);
    attr.mtimensec = static_cast<std::uint32_t>(st.st_mtim.tv_nsec);
    attr.ctimensec = static_cast<std::uint32_t>(st.st_ctim.tv_nsec);
    attr.mode = st.st_mode;
    attr.nlink = static_cast<std::uint32_t>(st.st_nlink);
    attr.uid = st.st_uid;
    attr.gid = st.st_gid;
    attr.rdev = static_cast<std::uint32_t>(st.st_rdev);
    attr.blksize = static_cast<std::uint32_t>(st.st_blksize);
    return attr;
}

} // namespace

// The protocol side: what each request is answered with, and the loop every
// server thread runs.
class LatencyVolume::Server {
public:
    Server(int fd, std::string source, std::chrono::microseconds latency, std::uint64_t inodeOffset)
        : m_fd(fd), m_source(std::move(source)), m_latency(latency), m_inodeOffset(inodeOffset) {
        m_paths.push_back(m_source); // node FUSE_ROOT_ID
        m_nodes.emplace(m_source, FUSE_ROOT_ID);
    }

    void stop() { m_stop = true; }

    // Takes requests until stopped or the connection goes away.
    void serve() {
        std::vector<char> buffer(kRequestBuffer);
        while (!m_stop) {
            ssize_t n = 0;
            int error = 0;
            {
                // One server at a time waits on the descriptor: poll wakes
                // every thread that polls it for each request, and with
                // dozens of idle servers that would cost more CPU than the
                // answers. The others wait for their turn here.
                std::lock_guard turn(m_reading);
                if (m_stop)
                    return;
                pollfd ready{m_fd, POLLIN, 0};
                if (::poll(&ready, 1, kPollMilliseconds) <= 0)
                    continue;
                if ((ready.revents & POLLIN) == 0)
                    return; // aborted or unmounted
                n = ::read(m_fd, buffer.data(), buffer.size());
                error = errno;
            }
            if (n < 0) {
                // ENOENT: the request was interrupted before it was read.
                if (error == EAGAIN || error == EINTR || error == ENOENT)
                    continue;
                return; // ENODEV: the connection is gone
            }
            if (static_cast<std::size_t>(n) >= sizeof(fuse_in_header))
                handle(buffer.data(), static_cast<std::size_t>(n));
        }
    }

    std::uint64_t requests() const { return m_requests; }
    int mostInFlight() const { return m_mostInFlight; }

private:
    struct Answer {
        int error = 0;
        std::string body;
    };
    struct Entry {
        std::string name;
        std::uint64_t ino = 0;
        std::uint32_t type = DT_UNKNOWN;
    };
    // An open file or a folder's listing, read whole when it is opened so
    // that the offsets the kernel hands back stay valid.
    struct Handle {
        int fd = -1;
        std::vector<Entry> listing;
        Handle() = default;
        Handle(const Handle&) = delete;
        Handle& operator=(const Handle&) = delete;
        ~Handle() {
            if (fd >= 0)
                ::close(fd);
        }
    };

    template <typename T> static Answer bodyOf(const T& value) {
        Answer answer;
        answer.body.assign(reinterpret_cast<const char*>(&value), sizeof value);
        return answer;
    }
    static Answer failed(int error) { return Answer{error, {}}; }

    void handle(const char* request, std::size_t length) {
        const Clock::time_point due = Clock::now() + m_latency;
        const auto in = bodyAs<fuse_in_header>(request, length);
        switch (in.opcode) {
        case FUSE_FORGET:
        case FUSE_BATCH_FORGET:
        case FUSE_INTERRUPT:
        case FUSE_NOTIFY_REPLY:
            return; // no answer expected; interrupted requests are answered anyway
        default:
            break;
        }
        const int inFlight = ++m_inFlight;
        int most = m_mostInFlight;
        while (inFlight > most && !m_mostInFlight.compare_exchange_weak(most, inFlight)) {
        }
        // The work is done first and the answer held back until the latency
        // has passed, so that a slow source does not add to it.
        const Answer answer = answerTo(in, request + sizeof in, length - sizeof in);
        std::this_thread::sleep_until(due);
        // Counted before it is sent: a caller that has its answer finds it counted.
        --m_inFlight;
        ++m_requests;
        send(in.unique, answer);
    }

    void send(std::uint64_t unique, const Answer& answer) {
        fuse_out_header header{};
        header.len = static_cast<std::uint32_t>(sizeof header + answer.body.size());
        header.error = -answer.error;
        header.unique = unique;
        iovec parts[2] = {{&header, sizeof header},
                          {const_cast<char*>(answer.body.data()), answer.body.size()}};
        // A request aborted or interrupted meanwhile is refused: nothing to do.
        [[maybe_unused]] const ssize_t written =
            ::writev(m_fd, parts, answer.error == 0 && !answer.body.empty() ? 2 : 1);
    }

    Answer answerTo(const fuse_in_header& in, const char* body, std::size_t length) {
        switch (in.opcode) {
        case FUSE_LOOKUP:
            return lookup(in.nodeid, std::string(body, strnlen(body, length)));
        case FUSE_GETATTR: {
            const std::optional<std::string> path = pathOf(in.nodeid);
            if (!path)
                return failed(ESTALE);
            fuse_attr_out out{};
            if (const int error = statOf(*path, out.attr))
                return failed(error);
            out.attr_valid = kCacheSeconds;
            return bodyOf(out);
        }
        case FUSE_ACCESS: {
            const auto access = bodyAs<fuse_access_in>(body, length);
            if ((access.mask & W_OK) != 0)
                return failed(EROFS);
            const std::optional<std::string> path = pathOf(in.nodeid);
            if (!path)
                return failed(ESTALE);
            if (::faccessat(AT_FDCWD, path->c_str(), static_cast<int>(access.mask), 0) != 0)
                return failed(errno);
            return {};
        }
        case FUSE_READLINK: {
            const std::optional<std::string> path = pathOf(in.nodeid);
            if (!path)
                return failed(ESTALE);
            std::string target(PATH_MAX, '\0');
            const ssize_t n = ::readlink(path->c_str(), target.data(), target.size());
            if (n < 0)
                return failed(errno);
            target.resize(static_cast<std::size_t>(n));
            return Answer{0, std::move(target)};
        }
        case FUSE_OPENDIR:
            return openFolder(in.nodeid);
        case FUSE_READDIR:
            return readFolder(bodyAs<fuse_read_in>(body, length));
        case FUSE_OPEN:
            return open(in.nodeid, bodyAs<fuse_open_in>(body, length));
        case FUSE_READ:
            return read(bodyAs<fuse_read_in>(body, length));
        case FUSE_RELEASE:
        case FUSE_RELEASEDIR: {
            const auto release = bodyAs<fuse_release_in>(body, length);
            std::lock_guard lock(m_handlesMutex);
            m_handles.erase(release.fh);
            return {};
        }
        case FUSE_FLUSH:
            return {};
        case FUSE_STATFS: {
            struct statvfs st {};
            if (::statvfs(m_source.c_str(), &st) != 0)
                return failed(errno);
            fuse_statfs_out out{};
            out.st.blocks = st.f_blocks;
            out.st.bfree = st.f_bfree;
            out.st.bavail = st.f_bavail;
            out.st.files = st.f_files;
            out.st.ffree = st.f_ffree;
            out.st.bsize = static_cast<std::uint32_t>(st.f_bsize);
            out.st.frsize = static_cast<std::uint32_t>(st.f_frsize);
            out.st.namelen = static_cast<std::uint32_t>(st.f_namemax);
            return bodyOf(out);
        }
        case FUSE_SETATTR:
        case FUSE_SYMLINK:
        case FUSE_MKNOD:
        case FUSE_MKDIR:
        case FUSE_UNLINK:
        case FUSE_RMDIR:
        case FUSE_RENAME:
        case FUSE_RENAME2:
        case FUSE_LINK:
        case FUSE_WRITE:
        case FUSE_SETXATTR:
        case FUSE_REMOVEXATTR:
        case FUSE_CREATE:
        case FUSE_FALLOCATE:
        case FUSE_COPY_FILE_RANGE:
#if FUSE_KERNEL_MINOR_VERSION >= 37
        case FUSE_TMPFILE:
#endif
            return failed(EROFS);
        default:
            // Extended attributes among them: the kernel stops asking.
            return failed(ENOSYS);
        }
    }

    Answer lookup(std::uint64_t parent, const std::string& name) {
        const std::optional<std::string> folder = pathOf(parent);
        if (!folder)
            return failed(ESTALE);
        if (name.empty() || name.find('/') != std::string::npos)
            return failed(EINVAL);
        std::string path = *folder;
        if (name == "..") {
            if (parent != FUSE_ROOT_ID)
                path.erase(path.rfind('/'));
        } else if (name != ".") {
            path += '/' + name;
        }
        fuse_entry_out entry{};
        if (const int error = statOf(path, entry.attr))
            return failed(error);
        entry.nodeid = nodeOf(path);
        entry.generation = 1;
        entry.entry_valid = kCacheSeconds;
        entry.attr_valid = kCacheSeconds;
        return bodyOf(entry);
    }

    Answer openFolder(std::uint64_t node) {
        const std::optional<std::string> path = pathOf(node);
        if (!path)
            return failed(ESTALE);
        DIR* folder = ::opendir(path->c_str());
        if (folder == nullptr)
            return failed(errno);
        auto handle = std::make_shared<Handle>();
        while (const dirent* entry = ::readdir(folder)) {
            Entry listed{entry->d_name, entry->d_ino, entry->d_type};
            if (listed.type == DT_UNKNOWN) {
                struct stat st {};
                if (::fstatat(dirfd(folder), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0)
                    listed.type = (st.st_mode & S_IFMT) >> 12;
            }
            handle->listing.push_back(std::move(listed));
        }
        ::closedir(folder);
        fuse_open_out out{};
        out.fh = keep(std::move(handle));
        return bodyOf(out);
    }

    Answer readFolder(const fuse_read_in& request) {
        const std::shared_ptr<Handle> handle = handleOf(request.fh);
        if (!handle)
            return failed(EBADF);
        Answer answer;
        for (std::size_t i = request.offset; i < handle->listing.size(); ++i) {
            const Entry& entry = handle->listing[i];
            fuse_dirent dirent{};
            dirent.ino = entry.ino + m_inodeOffset;
            dirent.off = i + 1;
            dirent.namelen = static_cast<std::uint32_t>(entry.name.size());
            dirent.type = entry.type;
            std::string record(FUSE_DIRENT_SIZE(&dirent), '\0');
            if (answer.body.size() + record.size() > request.size)
                break;
            std::memcpy(record.data(), &dirent, FUSE_NAME_OFFSET);
            std::memcpy(record.data() + FUSE_NAME_OFFSET, entry.name.data(), entry.name.size());
            answer.body += record;
        }
        return answer;
    }

    Answer open(std::uint64_t node, const fuse_open_in& request) {
        const auto flags = static_cast<int>(request.flags);
        if ((flags & O_ACCMODE) != O_RDONLY || (flags & O_TRUNC) != 0)
            return failed(EROFS);
        const std::optional<std::string> path = pathOf(node);
        if (!path)
            return failed(ESTALE);
        auto handle = std::make_shared<Handle>();
        handle->fd = ::open(path->c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (handle->fd < 0)
            return failed(errno);
        // No FOPEN_DIRECT_IO: reads go through the page cache, as on a share.
        fuse_open_out out{};
        out.fh = keep(std::move(handle));
        return bodyOf(out);
    }

    Answer read(const fuse_read_in& request) {
        const std::shared_ptr<Handle> handle = handleOf(request.fh);
        if (!handle || handle->fd < 0)
            return failed(EBADF);
        Answer answer;
        answer.body.resize(std::min(request.size, kMostRead));
        const ssize_t n = ::pread(handle->fd, answer.body.data(), answer.body.size(),
                                  static_cast<off_t>(request.offset));
        if (n < 0)
            return failed(errno);
        answer.body.resize(static_cast<std::size_t>(n));
        return answer;
    }

    // The real path of a node the kernel was given.
    std::optional<std::string> pathOf(std::uint64_t node) {
        std::shared_lock lock(m_nodesMutex);
        if (node == 0 || node > m_paths.size())
            return std::nullopt;
        return m_paths[node - 1];
    }

    // The node of a real path, made on its first lookup. Nodes are never
    // freed: the kernel may forget them, but a fixture lives briefly.
    std::uint64_t nodeOf(const std::string& path) {
        {
            std::shared_lock lock(m_nodesMutex);
            if (const auto found = m_nodes.find(path); found != m_nodes.end())
                return found->second;
        }
        std::unique_lock lock(m_nodesMutex);
        const auto [where, added] = m_nodes.emplace(path, m_paths.size() + 1);
        if (added)
            m_paths.push_back(path);
        return where->second;
    }

    int statOf(const std::string& path, fuse_attr& attr) const {
        struct stat st {};
        if (::fstatat(AT_FDCWD, path.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            return errno;
        attr = attrOf(st, m_inodeOffset);
        return 0;
    }

    std::uint64_t keep(std::shared_ptr<Handle> handle) {
        std::lock_guard lock(m_handlesMutex);
        const std::uint64_t fh = m_nextHandle++;
        m_handles.emplace(fh, std::move(handle));
        return fh;
    }

    std::shared_ptr<Handle> handleOf(std::uint64_t fh) {
        std::lock_guard lock(m_handlesMutex);
        const auto found = m_handles.find(fh);
        return found == m_handles.end() ? nullptr : found->second;
    }

    const int m_fd;
    const std::string m_source;
    const std::chrono::microseconds m_latency;
    const std::uint64_t m_inodeOffset;
    std::atomic<bool> m_stop{false};
    std::mutex m_reading;

    std::shared_mutex m_nodesMutex;
    std::vector<std::string> m_paths; // node n at n - 1; the root is the source
    std::unordered_map<std::string, std::uint64_t> m_nodes;

    std::mutex m_handlesMutex;
    std::unordered_map<std::uint64_t, std::shared_ptr<Handle>> m_handles;
    std::uint64_t m_nextHandle = 1;

    std::atomic<std::uint64_t> m_requests{0};
    std::atomic<int> m_inFlight{0};
    std::atomic<int> m_mostInFlight{0};
};

int MountFuse(const std::string& mountPoint, const char* name, bool nonBlocking,
              std::string& failure, bool& mounted) {
    mounted = false;
    const int fd = ::open("/dev/fuse", O_RDWR | O_CLOEXEC | (nonBlocking ? O_NONBLOCK : 0));
    if (fd < 0) {
        failure = std::string("/dev/fuse: ") + std::strerror(errno);
        return -1;
    }
    const std::string options =
        "fd=" + std::to_string(fd) + ",rootmode=40000,user_id=0,group_id=0,allow_other";
    if (::mount(name, mountPoint.c_str(), "fuse", MS_NOSUID | MS_NODEV, options.c_str()) != 0) {
        failure = "mount fuse: " + std::string(std::strerror(errno));
        return fd;
    }
    mounted = true;
    return fd;
}

LatencyVolume::LatencyVolume(const std::string& mountPoint, const std::string& source,
                             std::chrono::microseconds latency, int servers,
                             std::uint64_t inodeOffset)
    : m_mountPoint(mountPoint) {
    // The real path: nodes are paths joined below it, which must not depend
    // on the working folder or on a trailing slash.
    char* real = ::realpath(source.c_str(), nullptr);
    struct stat st {};
    if (real == nullptr || ::stat(real, &st) != 0 || !S_ISDIR(st.st_mode)) {
        std::free(real);
        m_failure = source + ": not a folder";
        return;
    }
    const std::string root = real;
    std::free(real);
    // Non-blocking, so that a server that finds no request after all goes
    // back to checking whether it should stop.
    m_fd = MountFuse(mountPoint, "tolvane-latency", true, m_failure, m_mounted);
    if (!m_mounted)
        return;

    // The kernel's first request is FUSE_INIT, queued by the mount.
    std::vector<char> request(kRequestBuffer);
    pollfd ready{m_fd, POLLIN, 0};
    const ssize_t n = ::poll(&ready, 1, kInitMilliseconds) == 1
                          ? ::read(m_fd, request.data(), request.size())
                          : -1;
    if (n < static_cast<ssize_t>(sizeof(fuse_in_header) + sizeof(fuse_init_in))) {
        m_failure = "no FUSE_INIT request";
        return;
    }
    const auto in = bodyAs<fuse_in_header>(request.data(), request.size());
    const auto init = bodyAs<fuse_init_in>(request.data() + sizeof in, request.size() - sizeof in);
    struct {
        fuse_out_header header;
        fuse_init_out init;
    } reply{};
    reply.header.len = sizeof reply;
    reply.header.unique = in.unique;
    reply.init.major = FUSE_KERNEL_VERSION;
    reply.init.minor = std::min<std::uint32_t>(init.minor, FUSE_KERNEL_MINOR_VERSION);
    reply.init.max_readahead = init.max_readahead;
    // Readahead and reads of one file may overlap, and lookups in one folder
    // run in parallel. No READDIRPLUS: every file listed costs a lookup of
    // its own, as on a share that lists names only.
    std::uint32_t wanted = FUSE_ASYNC_READ;
#ifdef FUSE_PARALLEL_DIROPS
    wanted |= FUSE_PARALLEL_DIROPS;
#endif
    reply.init.flags = init.flags & wanted;
    // Background requests (readahead, releases) are limited by the kernel;
    // let as many be queued as there are servers.
    const int background = std::clamp(servers, 1, 0xffff);
    reply.init.max_background = static_cast<std::uint16_t>(background);
    reply.init.congestion_threshold = static_cast<std::uint16_t>(std::max(1, background * 3 / 4));
    reply.init.max_write = kMaxWrite;
    reply.init.time_gran = 1;
    if (in.opcode != FUSE_INIT || init.major != FUSE_KERNEL_VERSION ||
        ::write(m_fd, &reply, sizeof reply) != static_cast<ssize_t>(sizeof reply)) {
        m_failure = "FUSE_INIT not answered";
        return;
    }

    m_server = std::make_unique<Server>(m_fd, root, latency, inodeOffset);
    for (int i = 0; i < std::max(1, servers); ++i)
        m_threads.emplace_back([this] { m_server->serve(); });
}

LatencyVolume::~LatencyVolume() {
    if (m_server)
        m_server->stop();
    for (std::thread& thread : m_threads)
        thread.join();
    if (m_fd >= 0)
        ::close(m_fd); // the last descriptor of the connection: aborts it
    if (m_mounted)
        ::umount2(m_mountPoint.c_str(), MNT_DETACH);
}

std::uint64_t LatencyVolume::requests() const {
    return m_server ? m_server->requests() : 0;
}

int LatencyVolume::mostInFlight() const {
    return m_server ? m_server->mostInFlight() : 0;
}
