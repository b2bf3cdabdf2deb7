#pragma once
// The media files the catalog holds more than once: files of one name and
// one size that lie in different folders. A view over catalog indexes, made
// on request and dropped when the catalog changes; the records themselves
// stay where they are, each in its own project.

#include <cstdint>
#include <string_view>
#include <vector>

class MediaCatalog;

inline constexpr char kDuplicatesProject[] = "**DUPLICATES";

class DuplicateMedia {
public:
    static constexpr std::uint32_t kNoGroup = 0xFFFFFFFFu;

    // Groups the existing files of the catalog (records with a folder, not
    // missing). Records of one name in one folder are one file, listed once.
    static DuplicateMedia Find(const MediaCatalog& catalog);

    // The catalog indexes of every copy, group after group, the groups in
    // the order of their file names (then sizes), each group's copies in the
    // order of their folders.
    const std::vector<std::uint32_t>& Copies() const { return m_copies; }
    std::size_t GroupCount() const { return m_groupStart.size(); }
    // The catalog indexes of one group's copies.
    std::vector<std::uint32_t> Group(std::size_t group) const;
    // The group a catalog index is a copy of, or kNoGroup.
    std::uint32_t GroupOf(std::uint32_t index) const {
        return index < m_groupOf.size() ? m_groupOf[index] : kNoGroup;
    }
    // The bytes that keeping one copy of each group would free.
    std::uint64_t FreedBytes() const { return m_freedBytes; }

private:
    std::vector<std::uint32_t> m_copies;
    std::vector<std::uint32_t> m_groupStart;
    std::vector<std::uint32_t> m_groupOf;
    std::uint64_t m_freedBytes = 0;
};
