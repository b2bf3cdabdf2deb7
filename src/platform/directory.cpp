#include "platform/directory.h"

#include "platform/volumes.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <system_error>
#include <thread>
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
DirEntry entryOf(int dirFd, std::string name, unsigned char type, ListDetail detail) {
    static const WriteAccess access;
    DirEntry entry;
    entry.name = std::move(name);
    entry.isLink = type == DT_LNK;
    if (detail == ListDetail::NamesOnly && type != DT_UNKNOWN && type != DT_LNK) {
        if (type == DT_DIR)
            entry.attributes |= kAttrDirectory;
        entry.isRegular = type == DT_REG;
        return entry;
    }
    if (type == DT_UNKNOWN) {
        struct stat lst {};
        entry.isLink = ::fstatat(dirFd, entry.name.c_str(), &lst, AT_SYMLINK_NOFOLLOW) == 0 &&
                       S_ISLNK(lst.st_mode);
    }
    struct statx sx {};
    // Links are followed: a link to a media file counts as that file.
    if (::statx(dirFd, entry.name.c_str(), AT_STATX_SYNC_AS_STAT, STATX_BASIC_STATS | STATX_BTIME,
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
    } else if (type == DT_DIR) {
        entry.attributes |= kAttrDirectory;
    } else if (entry.isLink) {
        entry.isDanglingLink = true;
    }
    if (entry.name[0] == '.' && entry.name != "." && entry.name != "..")
        entry.attributes |= kAttrHidden;
    return entry;
}

using Clock = std::chrono::steady_clock;

// A name the folder listed, before its facts are asked for.
struct Listed {
    std::string name;
    unsigned char type = DT_UNKNOWN;
};

// Appends at most `most` further names of an open folder, fewer once `until`
// has passed; end is set when the folder has no more. False, with errno in
// error, when reading fails.
bool readNames(DIR* dir, std::size_t most, Clock::time_point until, std::vector<Listed>& names,
               bool& end, int& error) {
    for (std::size_t n = 0; n < most; ++n) {
        // A slow volume gives the names it gave in time, some at least.
        if (n % 64 == 63 && Clock::now() >= until)
            return true;
        errno = 0;
        const dirent* d = ::readdir(dir);
        if (d == nullptr) {
            error = errno;
            end = true;
            return error == 0;
        }
        names.push_back({d->d_name, d->d_type});
    }
    return true;
}

// How many metadata requests a listing keeps in flight, chosen for each
// volume (by device) from what it measures: a network volume answers each
// request after a round trip, and overlapping the waits is what makes it
// fast; a local disk with its metadata in memory only spends processor time
// on more threads (which the load beside them needs: the next folder is
// listed while a database is read), and a spinning or virtual disk can get
// slower with more. Widths 1, 2, 4 ... 64 are tried upward while each
// doubling brings at least half as much again, as it does only where the
// waits are what costs; the best is kept, and now and then a neighbour is
// tried again so that a volume whose cache warms or cools is followed.
class InFlightTuner {
public:
    static constexpr int kSteps = 7;

    int Choose() {
        ++m_chunks;
        if (m_rate[static_cast<std::size_t>(m_best)] == 0)
            return m_best;
        if (m_best + 1 < kSteps && m_rate[static_cast<std::size_t>(m_best + 1)] == 0)
            return m_best + 1;
        if (m_chunks % 16 == 0) {
            const int probe = (m_chunks / 16) % 2 == 0 ? m_best + 1 : m_best - 1;
            if (probe >= 0 && probe < kSteps)
                return probe;
        }
        return m_best;
    }

    void Measured(int step, std::size_t entries, double seconds) {
        const double rate = static_cast<double>(entries) / std::max(seconds, 1e-9);
        double& kept = m_rate[static_cast<std::size_t>(step)];
        kept = kept == 0 ? rate : (kept + rate) / 2;
        m_best = 0;
        for (int i = 1; i < kSteps; ++i) {
            if (m_rate[static_cast<std::size_t>(i)] >
                m_rate[static_cast<std::size_t>(m_best)] * 1.5)
                m_best = i;
        }
    }

    int Best() const { return m_best; }

private:
    std::array<double, kSteps> m_rate{}; // entries a second; 0 = not tried
    int m_best = 0;
    unsigned m_chunks = 0;
};

std::atomic<int> g_fixedInFlight{0};
constexpr int kMostInFlight = 1 << (InFlightTuner::kSteps - 1);

struct Tuners {
    std::mutex mutex;
    std::map<dev_t, InFlightTuner> byDevice;
    // Helper threads running for each device. A volume that stops answering
    // holds those that asked it for good: no more than the widest width of
    // them, however many folders of it are listed.
    std::map<dev_t, int> helpers;
};

Tuners& tuners() {
    static Tuners* all = new Tuners; // used by threads that may outlive main
    return *all;
}

// The facts of names[from, to), each computed by one of `width` threads
// working through them; the calling thread is one of them. Each entry's
// facts are those a single thread would give: only the order of asking
// differs.
void factsOf(int dirFd, dev_t device, std::vector<Listed>& names, std::size_t from, std::size_t to,
             int width, std::vector<DirEntry>& out) {
    // The helpers share this call's state: it joins them before it returns,
    // even on an exception (helpers is destroyed first), so everything they
    // touch outlives them. When the volume stops answering, it waits with
    // them and the caller gives up on the listing at its deadline.
    std::atomic<std::size_t> next{from};
    auto run = [&] {
        for (std::size_t i = next++; i < to; i = next++)
            out[i] = entryOf(dirFd, std::move(names[i].name), names[i].type, ListDetail::Full);
    };
    struct Joined {
        std::vector<std::thread> threads;
        ~Joined() {
            for (std::thread& thread : threads)
                thread.join();
        }
    } helpers;
    helpers.threads.reserve(kMostInFlight);
    int wanted = std::min<int>(width - 1, static_cast<int>(to - from) - 1);
    {
        const std::lock_guard lock(tuners().mutex);
        int& running = tuners().helpers[device];
        wanted = std::max(0, std::min(wanted, kMostInFlight - running));
        running += wanted;
    }
    for (int i = 0; i < wanted; ++i) {
        try {
            helpers.threads.emplace_back([&run, device] {
                run();
                const std::lock_guard lock(tuners().mutex);
                --tuners().helpers[device];
            });
        } catch (const std::system_error&) {
            const std::lock_guard lock(tuners().mutex);
            tuners().helpers[device] -= wanted - i; // no thread to spare: fewer at once
            break;
        }
    }
    run();
}

// The facts of the listed names, in the listing's order, asked with as many
// requests in flight as the volume's tuner (or the fixed setting) says: of
// all of them, or of those asked by `until` (at least the first chunk).
std::vector<DirEntry> entriesOf(int dirFd, dev_t device, std::vector<Listed>& names,
                                ListDetail detail, Clock::time_point until) {
    std::vector<DirEntry> entries(names.size());
    if (detail == ListDetail::NamesOnly) {
        for (std::size_t i = 0; i < names.size(); ++i) {
            entries[i] = entryOf(dirFd, std::move(names[i].name), names[i].type, detail);
        }
        return entries;
    }
    for (std::size_t from = 0; from < names.size();) {
        const int fixed = g_fixedInFlight.load();
        int step = 0;
        if (fixed == 0) {
            const std::lock_guard lock(tuners().mutex);
            step = tuners().byDevice[device].Choose();
        }
        const int width = fixed != 0 ? fixed : 1 << step;
        // About 32 requests a thread: long enough that starting threads
        // costs little beside the requests, short enough that trying a width
        // costs about the same few round trips at every width.
        const std::size_t chunk = std::min<std::size_t>(32 * static_cast<std::size_t>(width), 1024);
        const std::size_t to = std::min(names.size(), from + chunk);
        const auto start = Clock::now();
        factsOf(dirFd, device, names, from, to, width, entries);
        // Asked within a question, the volume has answered this much.
        StillAnswering();
        // A short last chunk says little of the width.
        if (fixed == 0 && to - from == chunk) {
            const std::chrono::duration<double> took = Clock::now() - start;
            const std::lock_guard lock(tuners().mutex);
            tuners().byDevice[device].Measured(step, to - from, took.count());
        }
        from = to;
        if (from < names.size() && Clock::now() >= until) {
            entries.resize(from);
            break;
        }
    }
    return entries;
}

} // namespace

void SetMetadataRequestsInFlight(int count) {
    g_fixedInFlight = std::clamp(count, 0, kMostInFlight);
}

int MetadataRequestsInFlight(const std::string& folder) {
    const auto device = AskVolumes<dev_t>({{folder, {}, VolumeType::Fixed}}, [](const Volume& v) {
        struct stat st {};
        return ::stat(v.root.c_str(), &st) == 0 ? st.st_dev : dev_t{};
    });
    if (!device.front())
        return 1;
    const struct { dev_t st_dev; } st{*device.front()};
    const std::lock_guard lock(tuners().mutex);
    const auto found = tuners().byDevice.find(st.st_dev);
    return found != tuners().byDevice.end() ? 1 << found->second.Best() : 1;
}

namespace {

std::optional<FolderStamp> stampOf(const std::string& folder) {
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0)
        return std::nullopt;
    return FolderStamp{st.st_dev,
                       st.st_ino,
                       {st.st_mtim.tv_sec, st.st_mtim.tv_nsec},
                       {st.st_ctim.tv_sec, st.st_ctim.tv_nsec}};
}

// Where a listing of an open folder stands between batches: names read
// whose facts are still to be asked, and whether the folder has no more.
struct Reading {
    std::vector<Listed> pending;
    bool folderEnded = false;
};

// Appends the entries of at most `most` further names of an open folder, or
// of those whose facts were asked by `until`; the others wait in `reading`
// for the next call. end is set when the folder has no more. False, with
// errno in error, when reading fails.
bool readEntries(DIR* dir, dev_t device, ListDetail detail, std::size_t most, Reading& reading,
                 Clock::time_point until, std::vector<DirEntry>& entries, bool& end, int& error) {
    std::vector<Listed>& names = reading.pending;
    if (names.empty() && !reading.folderEnded) {
        names.reserve(std::min<std::size_t>(most, 1024));
        if (!readNames(dir, most, until, names, reading.folderEnded, error))
            return false;
        StillAnswering();
    }
    std::vector<DirEntry> read = entriesOf(::dirfd(dir), device, names, detail, until);
    names.erase(names.begin(), names.begin() + static_cast<std::ptrdiff_t>(read.size()));
    end = reading.folderEnded && names.empty();
    if (entries.empty())
        entries = std::move(read);
    else
        std::move(read.begin(), read.end(), std::back_inserter(entries));
    return true;
}

} // namespace

bool ListDirectoryInTime(const std::string& folder, std::vector<DirEntry>& entries, int& error,
                         ListDetail detail, std::optional<FolderStamp>* stampBefore) {
    entries.clear();
    error = 0;
    struct Listing {
        std::vector<DirEntry> entries;
        std::optional<FolderStamp> stamp;
        int error = 0;
        bool listed = false;
    };
    // One question lists the whole folder: a batch of its entries at a time,
    // each batch cut short in time for the deadline on a slow volume, and
    // after each the volume has the deadline again. The folder stands for
    // its volume: while the question is unanswered, it is not asked again.
    const bool stamped = stampBefore != nullptr;
    auto answers = AskVolumes<Listing>(
        {{folder, {}, VolumeType::Fixed}}, [detail, stamped](const Volume& volume) {
            Listing listing;
            if (stamped)
                listing.stamp = stampOf(volume.root);
            const std::unique_ptr<DIR, int (*)(DIR*)> dir(openFolder(volume.root, listing.error),
                                                          ::closedir);
            if (!dir)
                return listing;
            StillAnswering();
            struct stat st {};
            const dev_t device = ::fstat(::dirfd(dir.get()), &st) == 0 ? st.st_dev : 0;
            constexpr std::size_t kBatchEntries = 1024;
            Reading reading;
            for (bool end = false; !end;) {
                const Clock::time_point until = Clock::now() + kVolumeDeadline / 3;
                if (!readEntries(dir.get(), device, detail, kBatchEntries, reading, until,
                                 listing.entries, end, listing.error)) {
                    listing.entries.clear();
                    return listing;
                }
                // Given up by its caller, the listing stops: nobody takes it.
                if (!StillAnswering() && !end) {
                    listing.entries.clear();
                    listing.error = ETIMEDOUT;
                    return listing;
                }
            }
            listing.listed = true;
            return listing;
        });
    if (stampBefore != nullptr)
        *stampBefore = answers.front() ? answers.front()->stamp : std::nullopt;
    if (!answers.front() || !answers.front()->listed) {
        error = answers.front() ? answers.front()->error : ETIMEDOUT;
        return false;
    }
    entries = std::move(answers.front()->entries);
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
    struct stat st {};
    const dev_t device = ::fstat(::dirfd(dir), &st) == 0 ? st.st_dev : 0;
    Reading reading;
    const bool read = readEntries(dir, device, detail, SIZE_MAX, reading, Clock::time_point::max(),
                                  entries, end, error);
    ::closedir(dir);
    if (!read)
        entries.clear();
    return read;
}

std::optional<FolderStamp> FolderStampInTime(const std::string& folder) {
    const auto stamps = AskVolumes<std::optional<FolderStamp>>(
        {{folder, {}, VolumeType::Fixed}},
        [](const Volume& volume) { return stampOf(volume.root); });
    return stamps.front() ? *stamps.front() : std::nullopt;
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
