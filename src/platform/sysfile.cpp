#include "platform/sysfile.h"

#include "platform/paths.h"
#include "platform/systemtext.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
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

bool SysFile::open(const char* path, unsigned /*flags*/, OpenError& error) {
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
    // O_NONBLOCK keeps a named pipe from blocking the open; it is refused below.
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        error.systemCode = errno;
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        error.systemCode = errno;
        ::close(fd);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        if (S_ISDIR(st.st_mode))
            error.systemCode = EISDIR;
        else
            error.reason = "Not a regular file";
        ::close(fd);
        return false;
    }
    const int fl = ::fcntl(fd, F_GETFL);
    if (fl >= 0)
        ::fcntl(fd, F_SETFL, fl & ~O_NONBLOCK);

    // The resolved path is made when asked for: resolving costs a system
    // call per path component, and most opens never ask.
    m_openedPath = path;
    m_path.clear();
    m_fd = fd;
    m_systemReads = 0;
    m_bytesRead = 0;
    return true;
}

const std::string& SysFile::path() const {
    if (m_path.empty() && m_fd >= 0) {
        char resolved[PATH_MAX];
        if (::realpath(m_openedPath.c_str(), resolved) != nullptr) {
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
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_path.clear();
    m_openedPath.clear();
}

std::size_t SysFile::readAt(std::uint64_t offset, void* destination, std::size_t count) {
    if (m_fd < 0)
        return 0;
    auto* out = static_cast<unsigned char*>(destination);
    std::size_t done = 0;
    while (done < count) {
        if (offset + done > static_cast<std::uint64_t>(INT64_MAX))
            break;
        ++m_systemReads;
        const ssize_t got =
            ::pread(m_fd, out + done, count - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        done += static_cast<std::size_t>(got);
    }
    m_bytesRead += done;
    return done;
}

std::uint64_t SysFile::length() const {
    if (m_fd < 0)
        return 0;
    struct stat st {};
    if (::fstat(m_fd, &st) != 0 || st.st_size < 0)
        return 0;
    return static_cast<std::uint64_t>(st.st_size);
}

std::uint64_t SysFile::movePointer(std::uint64_t offset) {
    if (m_fd < 0 || offset > static_cast<std::uint64_t>(INT64_MAX))
        return 0;
    const off_t at = ::lseek(m_fd, static_cast<off_t>(offset), SEEK_SET);
    return at < 0 ? 0 : static_cast<std::uint64_t>(at);
}

} // namespace platform
