#include "app/mediafilter.h"

#include "app/cataloglists.h"
#include "mediadb/essencetext.h"
#include "mediadb/mediacatalog.h"
#include "platform/directory.h"

#include <array>

namespace {

// Past this many distinct texts a field's texts are not shared (a catalog
// built otherwise): they are searched as they come. The table of judged
// texts has twice as many table, so that probes stay short.
constexpr std::size_t kMostJudged = 4096;
constexpr std::size_t kSlots = 2 * kMostJudged;

std::size_t slotOf(const char* address) {
    // Allocations are 16-byte aligned: the bits above spread the table.
    const auto bits = reinterpret_cast<std::uintptr_t>(address) >> 4;
    return static_cast<std::size_t>((bits * 0x9E3779B97F4A7C15ull) >> 51) & (kSlots - 1);
}

constexpr std::array<unsigned char, 256> lowerTable() {
    std::array<unsigned char, 256> table{};
    for (int c = 0; c < 256; ++c)
        table[static_cast<std::size_t>(c)] =
            static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return table;
}
constexpr std::array<unsigned char, 256> kLower = lowerTable();

unsigned char lower(char c) {
    return kLower[static_cast<unsigned char>(c)];
}

constexpr int column(MediaColumn c) {
    return static_cast<int>(c);
}

// Whether a text of these characters only may hold the folded text.
bool onlyOf(std::string_view folded, std::string_view characters) {
    return folded.find_first_not_of(characters) == std::string_view::npos;
}

} // namespace

bool FindRequest::Narrows(const FindRequest& earlier) const {
    if (earlier.status != FindStatus::All && earlier.status != status)
        return false;
    // Every text that holds the new one holds the earlier one too.
    return FoldedText(earlier.text).FoundIn(text);
}

FoldedText::FoldedText(std::string_view text) {
    m_text.reserve(text.size());
    for (char c : text)
        m_text.push_back(static_cast<char>(lower(c)));
}

bool FoldedText::FoundIn(std::string_view text) const {
    const std::size_t n = m_text.size();
    if (n == 0)
        return true;
    if (text.size() < n)
        return false;
    const char first = m_text[0];
    const std::size_t last = text.size() - n;
    for (std::size_t i = 0; i <= last; ++i) {
        if (static_cast<char>(lower(text[i])) != first)
            continue;
        std::size_t k = 1;
        while (k < n && static_cast<char>(lower(text[i + k])) == m_text[k])
            ++k;
        if (k == n)
            return true;
    }
    return false;
}

MediaFilter::MediaFilter(const MediaCatalog& catalog, FindRequest request)
    : m_catalog(catalog), m_request(std::move(request)), m_text(m_request.text),
      m_inNotExist(m_text.FoundIn("Not Exist")), m_inLocked(m_text.FoundIn("!Locked")),
      m_inDirectory(m_text.FoundIn(".DIR.")),
      // The essence columns hold digits and a few signs: a text of other
      // characters is not looked for there (no timecode is made for it).
      m_inDuration(onlyOf(m_text.Folded(), "0123456789:;")),
      m_inResolution(onlyOf(m_text.Folded(), "0123456789 x")),
      m_inFrameRate(onlyOf(m_text.Folded(), "0123456789.")) {}

bool MediaFilter::Accepts(std::uint32_t catalogIndex, const ListView::OwnTexts* own) {
    const MediaRecord* record = m_catalog.GetRecord(catalogIndex);
    if (record == nullptr)
        return false;
    return HasStatus(*record) && TextFound(catalogIndex, *record, own);
}

void MediaFilter::Ahead(std::uint32_t catalogIndex) {
    const MediaRecord* record = m_catalog.GetRecord(catalogIndex);
    if (record != nullptr) {
        // A record spans two cache lines; its attributes lie in the second.
        __builtin_prefetch(record);
        __builtin_prefetch(reinterpret_cast<const char*>(record) + 64);
    }
    // Told four rows ago: its record has arrived by now.
    const MediaRecord*& earlier = m_coming[m_next];
    if (earlier != nullptr)
        __builtin_prefetch(earlier->fileName.c_str());
    earlier = record;
    m_next = (m_next + 1) % m_coming.size();
}

bool MediaFilter::HasStatus(const MediaRecord& record) const {
    switch (m_request.status) {
    case FindStatus::All:
        return true;
    case FindStatus::Missing:
        return IsMissing(record);
    case FindStatus::Locked:
        return !IsMissing(record) &&
               (static_cast<std::uint32_t>(record.attributes) & platform::kAttrReadOnly) != 0;
    case FindStatus::Unreferenced:
        return record.projectName.view() == kUnreferencedProject;
    }
    return false;
}

bool MediaFilter::TextFound(std::uint32_t catalogIndex, const MediaRecord& record,
                            const ListView::OwnTexts* own) {
    if (m_text.Empty())
        return true;
    // A text the row keeps of its own (a run's status, a source it showed)
    // is what it shows in that column.
    auto ownText = [own](MediaColumn c) -> const std::string* {
        const auto at = static_cast<std::size_t>(column(c));
        if (own == nullptr || at >= own->size() || !(*own)[at].has_value())
            return nullptr;
        return &*(*own)[at];
    };
    auto found = [&](MediaColumn c, auto&& fromRecord) {
        if (const std::string* text = ownText(c))
            return m_text.FoundIn(*text);
        return fromRecord();
    };
    const bool exists = !IsMissing(record);
    if (found(MediaColumn::FileName, [&] { return m_text.FoundIn(record.fileName.view()); }))
        return true;
    if (found(MediaColumn::NameInBin, [&] { return m_text.FoundIn(record.nameInBin.view()); }))
        return true;
    if (found(MediaColumn::Status, [&] {
            if (!exists)
                return m_inNotExist;
            const auto attributes = static_cast<std::uint32_t>(record.attributes);
            if (attributes & platform::kAttrReadOnly)
                return m_inLocked;
            return (attributes & platform::kAttrDirectory) != 0 && m_inDirectory;
        }))
        return true;
    if (found(MediaColumn::Path, [&] {
            // A bin's file that was not found shows where the bin said it lay.
            if (!exists) {
                if (const std::string* folder = m_catalog.BinFolder(catalogIndex))
                    return m_text.FoundIn(*folder);
            }
            return SharedFound(record.folder.shared(), m_folders);
        }))
        return true;
    if (found(MediaColumn::Compression, [&] { return exists && CompressionFound(record); }))
        return true;
    if (found(MediaColumn::ProjectName,
              [&] { return SharedFound(record.projectName.shared(), m_projects); }))
        return true;
    if (found(MediaColumn::SourceName,
              [&] { return exists && m_text.FoundIn(record.sourceName.view()); }))
        return true;
    return exists && EssenceFound(record);
}

bool MediaFilter::EssenceFound(const MediaRecord& record) {
    if (m_inDuration && record.duration != 0 && m_text.FoundIn(DurationText(record)))
        return true;
    if (IsSound(record))
        return false;
    // A catalog holds a few sizes and rates: each is judged once.
    auto judged = [this](std::uint64_t key, auto&& text) {
        for (const auto& [known, found] : m_essenceKeys) {
            if (known == key)
                return found;
        }
        const bool found = m_text.FoundIn(text());
        if (m_essenceKeys.size() < 256)
            m_essenceKeys.emplace_back(key, found);
        return found;
    };
    if (m_inResolution && record.width != 0 &&
        judged((std::uint64_t{record.width} << 32) | record.height,
               [&] { return ResolutionText(record); }))
        return true;
    // Rates are told apart from sizes by the top bit, which no size sets.
    return m_inFrameRate && record.rate != 0 &&
           judged((std::uint64_t{1} << 63) | record.rate, [&] { return FrameRateText(record); });
}

bool MediaFilter::SharedFound(const SharedText& text, SharedJudgements& judgements) {
    const char* address = text.c_str();
    if (address == judgements.last)
        return judgements.lastFound;
    if (judgements.table.empty())
        judgements.table.resize(kSlots);
    std::size_t slot = slotOf(address);
    while (judgements.table[slot].address != nullptr && judgements.table[slot].address != address)
        slot = (slot + 1) & (kSlots - 1);
    SharedJudgements::Slot& judged = judgements.table[slot];
    if (judged.address == nullptr) {
        const bool found = m_text.FoundIn(text.view());
        if (judgements.kept.size() >= kMostJudged)
            return found;
        judgements.kept.push_back(text);
        judged = {address, found};
    }
    judgements.last = address;
    judgements.lastFound = judged.found;
    return judged.found;
}

bool MediaFilter::CompressionFound(const MediaRecord& record) {
    if (!record.codecName.empty())
        return m_text.FoundIn(record.codecName.view());
    if (record.compressionCode == 0)
        return false;
    for (const auto& [code, found] : m_compressionCodes) {
        if (code == record.compressionCode)
            return found;
    }
    const bool found = m_text.FoundIn(MediaColumnText(record, MediaColumn::Compression));
    // Crafted files may bring any number of codes: past a few, each is told.
    if (m_compressionCodes.size() < 256)
        m_compressionCodes.emplace_back(record.compressionCode, found);
    return found;
}
