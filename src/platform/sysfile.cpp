#include "platform/sysfile.h"

#include "platform/paths.h"
#include "platform/systemtext.h"
#include "platform/volumes.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <optional>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace platform {

void OpenError::clear() {
    systemCode = -1;
    fileName.clear();
    reason.clear();
}

std::string OpenError::describe() const {
    std::string cause = !reason.empty() ? reason : SystemErrorText(systemCode);
    return fileName + ": " + cause;
}

SysFile::~SysFile() {
    close();
}

namespace {

// Opens path for reading if it is a regular file; its descriptor, or -1
// with the cause in error.
int openRegular(const std::string& path, OpenError& error, std::uint64_t& length) {
    // O_NONBLOCK keeps a named pipe from blocking the open; it is refused below.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        error.systemCode = errno;
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        error.systemCode = errno;
        ::close(fd);
        return -1;
    }
    if (!S_ISREG(st.st_mode)) {
        if (S_ISDIR(st.st_mode))
            error.systemCode = EISDIR;
        else
            error.reason = "Not a regular file";
        ::close(fd);
        return -1;
    }
    const int fl = ::fcntl(fd, F_GETFL);
    if (fl >= 0)
        ::fcntl(fd, F_SETFL, fl & ~O_NONBLOCK);
    length = st.st_size > 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
    return fd;
}

// Asks the volume that holds path one question with its deadline; the
// path stands for the volume, so that a file whose last question is still
// unanswered is not asked again.
template <class Answer>
std::optional<Answer> askInTime(const std::string& path, std::function<Answer()> question) {
    auto answers =
        AskVolumes<Answer>({Volume{path, {}, VolumeType::Fixed}},
                           [question = std::move(question)](const Volume&) { return question(); });
    return std::move(answers.front());
}

} // namespace

bool SysFile::open(const char* path, unsigned flags, OpenError& error) {
    close();
    error.clear();
    error.fileName = path != nullptr ? path : "";
    if (path == nullptr || *path == '\0') {
        error.systemCode = ENOENT;
        return false;
    }
    if (!FitsPathLimit(std::strlen(path))) {
        error.systemCode = ENAMETOOLONG;
        return false;
    }
    m_inTime = (flags & kAnswerInTime) != 0;
    int fd = -1;
    if (!m_inTime) {
        fd = openRegular(path, error, m_length);
    } else {
        struct Opened {
            int fd = -1;
            OpenError error;
            std::uint64_t length = 0;
        };
        // An open that answers after its deadline leaves its descriptor
        // open: one for a volume, which is asked nothing more meanwhile.
        std::optional<Opened> opened = askInTime<Opened>(path, [name = std::string(path)] {
            Opened o;
            o.fd = openRegular(name, o.error, o.length);
            return o;
        });
        if (!opened) {
            error.systemCode = ETIMEDOUT;
        } else {
            fd = opened->fd;
            m_length = opened->length;
            if (fd < 0) {
                error.systemCode = opened->error.systemCode;
                error.reason = opened->error.reason;
            }
        }
    }
    if (fd < 0)
        return false;

    // The resolved path is made when asked for: resolving costs a system
    // call per path component, and most opens never ask.
    m_openedPath = path;
    m_path.clear();
    m_fd = fd;
    m_systemReads = 0;
    m_bytesRead = 0;
    m_readError = 0;
    m_chunk.clear();
    m_chunkStart = 0;
    return true;
}

const std::string& SysFile::path() const {
    if (m_path.empty() && m_fd >= 0) {
        char resolved[PATH_MAX];
        // Resolving asks the volume again, which a file opened to be read in
        // time must not do.
        if (!m_inTime && ::realpath(m_openedPath.c_str(), resolved) != nullptr) {
            m_path = resolved;
        } else if (m_openedPath.front() == '/') {
            m_path = m_openedPath;
        } else {
            char cwd[PATH_MAX];
            m_path = ::getcwd(cwd, sizeof cwd) != nullptr ? std::string(cwd) + "/" + m_openedPath
                                                          : m_openedPath;
        }
    }
    return m_path;
}

void SysFile::close() {
    // Closing asks the volume too (a network or FUSE file system flushes on
    // close): a file read in time is closed by a thread that nobody waits
    // for.
    if (m_fd >= 0 && m_inTime) {
        try {
            std::thread([fd = m_fd] { ::close(fd); }).detach();
            m_fd = -1;
        } catch (const std::system_error&) {
        }
    }
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_path.clear();
    m_openedPath.clear();
    m_chunk = {};
}

std::size_t SysFile::readAt(std::uint64_t offset, void* destination, std::size_t count) {
    if (m_fd < 0)
        return 0;
    auto* out = static_cast<unsigned char*>(destination);
    if (m_inTime)
        return readInTime(offset, out, count);
    std::size_t done = 0;
    while (done < count) {
        if (offset + done > static_cast<std::uint64_t>(INT64_MAX))
            break;
        ++m_systemReads;
        const ssize_t got =
            ::pread(m_fd, out + done, count - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 && m_readError == 0)
            m_readError = errno;
        if (got <= 0)
            break;
        done += static_cast<std::size_t>(got);
    }
    m_bytesRead += done;
    return done;
}

std::size_t SysFile::readInTime(std::uint64_t offset, unsigned char* out, std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        const std::uint64_t at = offset + done;
        if (at >= m_chunkStart && at < m_chunkStart + m_chunk.size()) {
            const auto from = static_cast<std::size_t>(at - m_chunkStart);
            const std::size_t n = std::min(count - done, m_chunk.size() - from);
            std::memcpy(out + done, m_chunk.data() + from, n);
            done += n;
            continue;
        }
        // A file read on from where its last chunk ended is read in larger
        // chunks, as long as the volume answers them well within its
        // deadline: fewer questions. None is larger than what the file had
        // left when it was opened, unless that is less than the first size.
        const bool followsOn = !m_chunk.empty() && at == m_chunkStart + m_chunk.size();
        if (!followsOn)
            m_chunkBytes = kAnsweredChunk;
        const std::uint64_t start = followsOn ? at : at - at % kAnsweredChunk;
        std::size_t wanted = m_chunkBytes;
        if (m_length > start && m_length - start < wanted)
            wanted = std::max(kAnsweredChunk, static_cast<std::size_t>(m_length - start));
        // A volume that did not answer is asked nothing more through this
        // file, nor is a file asked past an error.
        if (m_readError != 0 || start > static_cast<std::uint64_t>(INT64_MAX) - wanted)
            break;
        struct Chunk {
            std::vector<unsigned char> bytes;
            int error = 0;
        };
        ++m_systemReads;
        const auto asked = std::chrono::steady_clock::now();
        // The thread reads into a chunk of its own, and the descriptor it
        // was given stays valid for the read it is in even when the file is
        // closed meanwhile.
        std::optional<Chunk> chunk = askInTime<Chunk>(m_openedPath, [fd = m_fd, start, wanted] {
            Chunk c;
            c.bytes.resize(wanted);
            // Read a first chunk's size at a time, each piece restarting the
            // deadline: a large chunk is never what makes a volume late.
            std::size_t got = 0;
            while (got < c.bytes.size()) {
                const std::size_t piece = std::min(c.bytes.size() - got, kAnsweredChunk);
                const ssize_t n =
                    ::pread(fd, c.bytes.data() + got, piece, static_cast<off_t>(start + got));
                if (n < 0 && errno == EINTR)
                    continue;
                if (n < 0)
                    c.error = errno;
                if (n <= 0)
                    break;
                got += static_cast<std::size_t>(n);
                if (got < c.bytes.size() && !StillAnswering())
                    break; // given up: nobody takes the chunk
            }
            c.bytes.resize(got);
            return c;
        });
        if (!chunk) {
            m_readError = ETIMEDOUT;
            m_chunk.clear();
            break;
        }
        m_readError = chunk->error;
        m_chunk = std::move(chunk->bytes);
        m_chunkStart = start;
        const auto took = std::chrono::steady_clock::now() - asked;
        if (m_chunk.size() == wanted && took < kVolumeDeadline / 8)
            m_chunkBytes = std::min(4 * wanted, kLargestAnsweredChunk);
        else if (took > kVolumeDeadline / 4)
            m_chunkBytes = kAnsweredChunk;
        if (at >= m_chunkStart + m_chunk.size())
            break; // the end of the file
    }
    m_bytesRead += done;
    return done;
}

std::uint64_t SysFile::length() const {
    if (m_fd < 0)
        return 0;
    if (m_inTime)
        return m_length;
    struct stat st {};
    if (::fstat(m_fd, &st) != 0 || st.st_size < 0)
        return 0;
    return static_cast<std::uint64_t>(st.st_size);
}

} // namespace platform
