#include "mediadb/duplicatemedia.h"

#include "mediadb/mediacatalog.h"

#include <algorithm>
#include <functional>
#include <tuple>
#include <unordered_map>

namespace {

struct Keyed {
    std::uint64_t key;
    std::uint64_t name; // the name's hash, never 0
    std::uint32_t index;
};

Keyed keyedOf(const MediaRecord& record, std::uint32_t index) {
    // The name's hash mixed with the size: equal files have equal keys, and
    // most runs of one key are one group.
    const std::uint64_t name = std::hash<std::string_view>{}(record.fileName.view()) | 1;
    std::uint64_t size = record.size * 0x9E3779B97F4A7C15ull;
    size ^= size >> 29;
    return {name ^ size, name, index};
}

} // namespace

DuplicateMedia DuplicateMedia::Find(const MediaCatalog& catalog) {
    DuplicateMedia found;
    const std::uint32_t count = catalog.FileCount();
    std::vector<Keyed> keyed;
    keyed.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        const MediaRecord* record = catalog.GetRecord(i);
        if (record == nullptr || IsMissing(*record) || record->folder.empty())
            continue;
        keyed.push_back(keyedOf(*record, i));
    }
    std::sort(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) {
        return a.key < b.key || (a.key == b.key && a.index < b.index);
    });

    auto record = [&](std::uint32_t index) -> const MediaRecord& {
        return *catalog.GetRecord(index);
    };
    auto fields = [&](std::uint32_t index) {
        const MediaRecord& r = record(index);
        return std::tuple(r.fileName.view(), r.size, r.folder.view(), index);
    };
    // Groups as ranges of m_copies, before they are put in name order.
    struct Range {
        std::uint32_t begin;
        std::uint32_t end;
    };
    std::vector<Range> ranges;
    // Further records of a listed path, with the record listed for it: they
    // belong to its group too.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> aliases;
    std::vector<std::uint32_t> run;
    for (std::size_t at = 0; at < keyed.size();) {
        std::size_t next = at + 1;
        while (next < keyed.size() && keyed[next].key == keyed[at].key)
            ++next;
        if (next - at > 1) {
            // A run of one key may mix names or sizes whose hashes met:
            // sorted by name, size and folder, it falls into groups.
            run.clear();
            for (std::size_t i = at; i < next; ++i)
                run.push_back(keyed[i].index);
            std::sort(run.begin(), run.end(),
                      [&](std::uint32_t a, std::uint32_t b) { return fields(a) < fields(b); });
            for (std::size_t g = 0; g < run.size();) {
                const MediaRecord& first = record(run[g]);
                const auto begin = static_cast<std::uint32_t>(found.m_copies.size());
                std::string_view lastFolder;
                std::size_t end = g;
                for (; end < run.size(); ++end) {
                    const MediaRecord& r = record(run[end]);
                    if (r.fileName.view() != first.fileName.view() || r.size != first.size)
                        break;
                    // Two records of one path are one file.
                    if (end > g && r.folder.view() == lastFolder) {
                        aliases.emplace_back(run[end], found.m_copies.back());
                        continue;
                    }
                    lastFolder = r.folder.view();
                    found.m_copies.push_back(run[end]);
                }
                const auto copies = static_cast<std::uint32_t>(found.m_copies.size()) - begin;
                if (copies > 1) {
                    ranges.push_back({begin, begin + copies});
                    found.m_freedBytes += first.size * (copies - 1);
                } else {
                    found.m_copies.resize(begin);
                }
                g = end;
            }
        }
        at = next;
    }

    std::sort(ranges.begin(), ranges.end(), [&](const Range& a, const Range& b) {
        const MediaRecord& ra = record(found.m_copies[a.begin]);
        const MediaRecord& rb = record(found.m_copies[b.begin]);
        return std::tuple(ra.fileName.view(), ra.size) < std::tuple(rb.fileName.view(), rb.size);
    });
    std::vector<std::uint32_t> ordered;
    ordered.reserve(found.m_copies.size());
    found.m_groupOf.assign(count, kNoGroup);
    for (const Range& range : ranges) {
        const auto group = static_cast<std::uint32_t>(found.m_groupStart.size());
        found.m_groupStart.push_back(static_cast<std::uint32_t>(ordered.size()));
        for (std::uint32_t i = range.begin; i < range.end; ++i) {
            ordered.push_back(found.m_copies[i]);
            found.m_groupOf[found.m_copies[i]] = group;
        }
    }
    for (const auto& [alias, listed] : aliases)
        found.m_groupOf[alias] = found.m_groupOf[listed];
    // A record of a listed path whose size the catalog has otherwise (read
    // at another time) names the same file: it is of that file's group too,
    // so that a delete of it knows the file's copies.
    if (!ranges.empty()) {
        std::unordered_multimap<std::string_view, std::uint32_t> listedByName;
        listedByName.reserve(ordered.size());
        // The listed names' hashes in a table of their own: most records are
        // of no listed name, and are passed over by one probe with the hash
        // taken when they were keyed, without reading the record again.
        std::size_t slots = 1024;
        while (slots < 2 * ordered.size())
            slots *= 2;
        std::vector<std::uint64_t> hashes(slots, 0);
        auto slotOf = [&hashes, slots](std::uint64_t hash) {
            std::size_t slot = hash & (slots - 1);
            while (hashes[slot] != 0 && hashes[slot] != hash)
                slot = (slot + 1) & (slots - 1);
            return slot;
        };
        for (const Keyed& k : keyed) {
            if (found.m_groupOf[k.index] == kNoGroup)
                continue;
            listedByName.emplace(record(k.index).fileName.view(), k.index);
            hashes[slotOf(k.name)] = k.name;
        }
        for (const Keyed& k : keyed) {
            if (found.m_groupOf[k.index] != kNoGroup || hashes[slotOf(k.name)] == 0)
                continue;
            const MediaRecord& r = record(k.index);
            const auto [from, to] = listedByName.equal_range(r.fileName.view());
            for (auto at = from; at != to; ++at) {
                if (record(at->second).folder.view() == r.folder.view()) {
                    found.m_groupOf[k.index] = found.m_groupOf[at->second];
                    break;
                }
            }
        }
    }
    found.m_copies = std::move(ordered);
    return found;
}

std::vector<std::uint32_t> DuplicateMedia::Group(std::size_t group) const {
    if (group >= m_groupStart.size())
        return {};
    const std::size_t end =
        group + 1 < m_groupStart.size() ? m_groupStart[group + 1] : m_copies.size();
    return {m_copies.begin() + m_groupStart[group],
            m_copies.begin() + static_cast<std::ptrdiff_t>(end)};
}
