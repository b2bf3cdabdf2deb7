#pragma once
// Directory listings with the facts the program keeps of every entry: the
// attribute bits, the size and the creation time.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

inline constexpr std::uint32_t kAttrReadOnly = 0x01;
inline constexpr std::uint32_t kAttrHidden = 0x02;
inline constexpr std::uint32_t kAttrDirectory = 0x10;

struct DirEntry {
    std::string name;
    std::uint32_t attributes = 0;
    std::uint64_t size = 0;
    // 100-nanosecond units since 1601-01-01 UTC: the birth time where the file
    // system records one, else the modification time.
    std::uint64_t creationTime = 0;
    // A symbolic link (the facts above are those of its target). Folder walks
    // do not descend into linked folders, so a link cannot make them loop.
    bool isLink = false;
    // A symbolic link whose target does not exist: no file at all, though
    // the folder lists a name. Only known with full detail.
    bool isDanglingLink = false;
    // A regular file, or a link to one: not a folder, a device, a pipe or a
    // socket.
    bool isRegular = false;
};

enum class ListDetail { Full, NamesOnly };

// Lists one folder in the order the file system returns its entries, "." and
// ".." included. False, with errno in error, when the folder cannot be
// listed; entries is then empty.
// NamesOnly fills only the names, the directory bit, isLink and isRegular, without
// asking the file system about each entry where the listing says enough.
bool ListDirectory(const std::string& folder, std::vector<DirEntry>& entries, int& error,
                   ListDetail detail = ListDetail::Full);

// How many requests for entries' facts a listing with full detail keeps in
// flight at once: 0 (the default) lets each volume's own measurements decide;
// 1 asks one at a time. The entries and their order are the same either way.
void SetMetadataRequestsInFlight(int count);
// The number in flight the listings of the volume holding folder settled on;
// 1 before any was measured.
int MetadataRequestsInFlight(const std::string& folder);

// What changes when a folder's entries change: an entry added, removed or
// renamed sets the folder's modification and change times.
struct FolderStamp {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t modified[2] = {};
    std::int64_t changed[2] = {};
    bool operator==(const FolderStamp&) const = default;
};
// The folder's stamp, asked within the volume deadline; nothing when it
// cannot be had in time.
std::optional<FolderStamp> FolderStampInTime(const std::string& folder);

// ListDirectory, answered within the deadline volumes are given: a folder
// whose volume does not answer in time fails with ETIMEDOUT. A large folder
// that keeps answering is listed whole, however long it takes. With
// stampBefore, the folder's stamp as it was just before it was listed is put
// there (nothing when it could not be had).
bool ListDirectoryInTime(const std::string& folder, std::vector<DirEntry>& entries, int& error,
                         ListDetail detail = ListDetail::Full,
                         std::optional<FolderStamp>* stampBefore = nullptr);

// Seconds and nanoseconds since 1970 as 100 ns units since 1601.
std::uint64_t FileTimeFromUnix(std::int64_t seconds, std::uint32_t nanoseconds);

// True when a file or folder exists at path.
bool PathExists(const std::string& path);
// The path without its last component ("/a/b/c" gives "/a/b", "/a" gives "/").
std::string FolderOf(const std::string& path);
// folder + "/" + name, without doubling the separator after a root.
std::string JoinPath(std::string_view folder, std::string_view name);

} // namespace platform
