#include "platform/directory.h"

#include "platform/volumes.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
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

bool ListDirectoryInTime(const std::string& folder, std::vector<DirEntry>& entries, int& error,
                         ListDetail detail) {
    struct Listing {
        std::vector<DirEntry> entries;
        int error = 0;
        bool listed = false;
    };
    // The folder stands for its volume: while a listing of it is still
    // unanswered, it is not asked again.
    auto answers = AskVolumes<Listing>(
        {Volume{folder, {}, VolumeType::Fixed}}, [detail](const Volume& volume) {
            Listing listing;
            listing.listed = ListDirectory(volume.root, listing.entries, listing.error, detail);
            return listing;
        });
    entries.clear();
    if (!answers.front()) {
        error = ETIMEDOUT;
        return false;
    }
    error = answers.front()->error;
    entries = std::move(answers.front()->entries);
    return answers.front()->listed;
}

bool ListDirectory(const std::string& folder, std::vector<DirEntry>& entries, int& error,
                   ListDetail detail) {
    entries.clear();
    error = 0;
    const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) {
        error = errno;
        return false;
    }
    DIR* dir = ::fdopendir(dirFd);
    if (dir == nullptr) {
        error = errno;
        ::close(dirFd);
        return false;
    }
    static const WriteAccess access;
    while (const dirent* d = ::readdir(dir)) {
        DirEntry entry;
        entry.name = d->d_name;
        entry.isLink = d->d_type == DT_LNK;
        if (detail == ListDetail::NamesOnly && d->d_type != DT_UNKNOWN && d->d_type != DT_LNK) {
            if (d->d_type == DT_DIR)
                entry.attributes |= kAttrDirectory;
            entry.isRegular = d->d_type == DT_REG;
            entries.push_back(std::move(entry));
            continue;
        }
        if (d->d_type == DT_UNKNOWN) {
            struct stat lst {};
            entry.isLink =
                ::fstatat(dirFd, d->d_name, &lst, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(lst.st_mode);
        }
        struct statx sx {};
        // Links are followed: a link to a media file counts as that file.
        if (::statx(dirFd, d->d_name, AT_STATX_SYNC_AS_STAT, STATX_BASIC_STATS | STATX_BTIME,
                    &sx) == 0) {
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
        entries.push_back(std::move(entry));
    }
    ::closedir(dir);
    return true;
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

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (!folder.empty() && folder.back() == '/')
        return folder + name;
    return folder + "/" + name;
}

} // namespace platform
