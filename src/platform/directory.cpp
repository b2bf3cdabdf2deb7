#include "platform/directory.h"

#include "platform/volumes.h"

#include <cerrno>
#include <cstdint>
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <iterator>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

// Whether this process may write to a file of that owner and mode.
class WriteAccess {
public:
    WriteAccess() : m_uid(::geteuid()), m_gid(::getegid()) {
        const int n = ::getgroups(0, nullptr);
        if (n > 0) {
            m_groups.resize(static_cast<std::size_t>(n));
            if (::getgroups(n, m_groups.data()) < 0)
                m_groups.clear();
        }
    }

    bool writable(uid_t owner, gid_t group, mode_t mode) const {
        // Root may write anything, but a file that nobody may write was
        // made read-only on purpose: it shows as locked.
        if (m_uid == 0)
            return (mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
        if (owner == m_uid)
            return (mode & S_IWUSR) != 0;
        if (inGroup(group))
            return (mode & S_IWGRP) != 0;
        return (mode & S_IWOTH) != 0;
    }

private:
    bool inGroup(gid_t group) const {
        if (group == m_gid)
            return true;
        for (gid_t g : m_groups) {
            if (g == group)
                return true;
        }
        return false;
    }

    uid_t m_uid;
    gid_t m_gid;
    std::vector<gid_t> m_groups;
};

} // namespace

std::uint64_t FileTimeFromUnix(std::int64_t seconds, std::uint32_t nanoseconds) {
    constexpr std::int64_t kSecondsFrom1601To1970 = 11644473600;
    const std::int64_t since1601 = seconds + kSecondsFrom1601To1970;
    if (since1601 < 0)
        return 0;
    return static_cast<std::uint64_t>(since1601) * 10000000u + nanoseconds / 100;
}

namespace {

// Opens a folder for listing; null with errno in error when it cannot be.
DIR* openFolder(const std::string& folder, int& error) {
    const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) {
        error = errno;
        return nullptr;
    }
    DIR* dir = ::fdopendir(dirFd);
    if (dir == nullptr) {
        error = errno;
        ::close(dirFd);
    }
    return dir;
}

// The facts of one entry of an open folder.
DirEntry entryOf(int dirFd, const dirent* d, ListDetail detail) {
    static const WriteAccess access;
    DirEntry entry;
    entry.name = d->d_name;
    entry.isLink = d->d_type == DT_LNK;
    if (detail == ListDetail::NamesOnly && d->d_type != DT_UNKNOWN && d->d_type != DT_LNK) {
        if (d->d_type == DT_DIR)
            entry.attributes |= kAttrDirectory;
        entry.isRegular = d->d_type == DT_REG;
        return entry;
    }
    if (d->d_type == DT_UNKNOWN) {
        struct stat lst {};
        entry.isLink =
            ::fstatat(dirFd, d->d_name, &lst, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(lst.st_mode);
    }
    struct statx sx {};
    // Links are followed: a link to a media file counts as that file.
    if (::statx(dirFd, d->d_name, AT_STATX_SYNC_AS_STAT, STATX_BASIC_STATS | STATX_BTIME, &sx) ==
        0) {
        const bool isDir = S_ISDIR(sx.stx_mode);
        entry.isRegular = S_ISREG(sx.stx_mode);
        if (isDir)
            entry.attributes |= kAttrDirectory;
        else
            entry.size = sx.stx_size;
        if (!access.writable(sx.stx_uid, sx.stx_gid, sx.stx_mode))
            entry.attributes |= kAttrReadOnly;
        const statx_timestamp& t = (sx.stx_mask & STATX_BTIME) ? sx.stx_btime : sx.stx_mtime;
        entry.creationTime = FileTimeFromUnix(t.tv_sec, t.tv_nsec);
    } else if (d->d_type == DT_DIR) {
        entry.attributes |= kAttrDirectory;
    } else if (entry.isLink) {
        entry.isDanglingLink = true;
    }
    if (entry.name[0] == '.' && entry.name != "." && entry.name != "..")
        entry.attributes |= kAttrHidden;
    return entry;
}

// Appends at most `most` further entries of an open folder; end is set when
// the folder has no more. False, with errno in error, when reading fails.
bool readEntries(DIR* dir, ListDetail detail, std::size_t most, std::vector<DirEntry>& entries,
                 bool& end, int& error) {
    const int dirFd = ::dirfd(dir);
    for (std::size_t n = 0; n < most; ++n) {
        errno = 0;
        const dirent* d = ::readdir(dir);
        if (d == nullptr) {
            error = errno;
            end = true;
            return error == 0;
        }
        entries.push_back(entryOf(dirFd, d, detail));
    }
    return true;
}

} // namespace

bool ListDirectoryInTime(const std::string& folder, std::vector<DirEntry>& entries, int& error,
                         ListDetail detail) {
    entries.clear();
    error = 0;
    // The open folder is shared with the threads that read it, which may
    // outlive this call: the last of them closes it.
    struct Walk {
        DIR* dir = nullptr;
        Walk() = default;
        Walk(const Walk&) = delete;
        Walk& operator=(const Walk&) = delete;
        ~Walk() {
            if (dir != nullptr)
                ::closedir(dir);
        }
    };
    auto walk = std::make_shared<Walk>();
    // The folder stands for its volume: while a question to it is still
    // unanswered, it is not asked again. Each question reads a batch, so a
    // large folder on a slow volume has the deadline for every batch, not
    // for the whole listing.
    const std::vector<Volume> key{{folder, {}, VolumeType::Fixed}};
    const auto opened = AskVolumes<int>(key, [walk](const Volume& volume) {
        int openError = 0;
        walk->dir = openFolder(volume.root, openError);
        return openError;
    });
    if (!opened.front() || *opened.front() != 0) {
        error = opened.front() ? *opened.front() : ETIMEDOUT;
        return false;
    }
    struct Batch {
        std::vector<DirEntry> entries;
        bool end = false;
        bool read = false;
        int error = 0;
    };
    for (;;) {
        auto batch = AskVolumes<Batch>(key, [walk, detail](const Volume&) {
            constexpr std::size_t kBatchEntries = 1024;
            Batch b;
            b.read = readEntries(walk->dir, detail, kBatchEntries, b.entries, b.end, b.error);
            return b;
        });
        if (!batch.front() || !batch.front()->read) {
            error = batch.front() ? batch.front()->error : ETIMEDOUT;
            entries.clear();
            return false;
        }
        std::move(batch.front()->entries.begin(), batch.front()->entries.end(),
                  std::back_inserter(entries));
        if (batch.front()->end)
            break;
    }
    // Closing asks the volume too: done by a question like the rest.
    AskVolumes<bool>(key, [walk](const Volume&) {
        ::closedir(walk->dir);
        walk->dir = nullptr;
        return true;
    });
    return true;
}

bool ListDirectory(const std::string& folder, std::vector<DirEntry>& entries, int& error,
                   ListDetail detail) {
    entries.clear();
    error = 0;
    DIR* dir = openFolder(folder, error);
    if (dir == nullptr)
        return false;
    bool end = false;
    const bool read = readEntries(dir, detail, SIZE_MAX, entries, end, error);
    ::closedir(dir);
    if (!read)
        entries.clear();
    return read;
}

bool PathExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return {};
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

std::string JoinPath(std::string_view folder, std::string_view name) {
    std::string path;
    path.reserve(folder.size() + 1 + name.size());
    path += folder;
    if (folder.empty() || folder.back() != '/')
        path += '/';
    path += name;
    return path;
}

} // namespace platform
