#pragma once
// Which rows of the media file list the find bar shows: those where a shown
// text column (Media File, Name in bin, Status, Path, Comp, Project Name,
// Source Name, Duration, Resolution, Frame Rate) holds the typed text,
// ignoring the case of A to Z as the list's sorting does, and whose file has
// the chosen status.
//
// A million rows are tested in well under the time of a keystroke: the text
// is folded once, a row's own texts are searched where it has them, and the
// texts records share (folders, project names, codecs) are judged once each.

#include "io/sharedtext.h"
#include "widgets/listview.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class MediaCatalog;
struct MediaRecord;

// The status a find keeps to, in the order of the find bar's choices.
enum class FindStatus { All = 0, Missing = 1, Locked = 2, Unreferenced = 3 };

struct FindRequest {
    std::string text;
    FindStatus status = FindStatus::All;

    // Whether every row this request finds, the other finds too: typing
    // that only adds to a text narrows what an earlier text found.
    bool Narrows(const FindRequest& earlier) const;
    bool operator==(const FindRequest&) const = default;
};

// A text searched for, ignoring the case of A to Z.
class FoldedText {
public:
    explicit FoldedText(std::string_view text);
    bool FoundIn(std::string_view text) const;
    bool Empty() const { return m_text.empty(); }
    std::string_view Folded() const { return m_text; }

private:
    std::string m_text; // lower case
};

class MediaFilter {
public:
    // The catalog's records must not change while the filter is used, but
    // for the rows it is asked about again (a filter is made for each find).
    MediaFilter(const MediaCatalog& catalog, FindRequest request);

    bool Accepts(std::uint32_t catalogIndex, const ListView::OwnTexts* own);
    // Fetches the record of a row tested soon, and the name of the one told
    // a few rows before it.
    void Ahead(std::uint32_t catalogIndex);
    const FindRequest& Request() const { return m_request; }

private:
    bool HasStatus(const MediaRecord& record) const;
    bool TextFound(std::uint32_t catalogIndex, const MediaRecord& record,
                   const ListView::OwnTexts* own);
    // The texts of one field that many records share, each judged once,
    // in a table by address (open addressing: a lookup costs a few
    // nanoseconds, a million rows' worth well under a keystroke). The filter
    // keeps the texts it judged, so that an address stays theirs.
    struct SharedJudgements {
        struct Slot {
            const char* address = nullptr;
            bool found = false;
        };
        std::vector<Slot> table;
        std::vector<SharedText> kept;
        const char* last = nullptr;
        bool lastFound = false;
    };
    bool SharedFound(const SharedText& text, SharedJudgements& judgements);
    bool CompressionFound(const MediaRecord& record);
    bool EssenceFound(const MediaRecord& record);

    const MediaCatalog& m_catalog;
    FindRequest m_request;
    FoldedText m_text;
    // What the status column shows for a record of each kind.
    bool m_inNotExist = false;
    bool m_inLocked = false;
    bool m_inDirectory = false;
    bool m_inDuration = false;
    bool m_inResolution = false;
    bool m_inFrameRate = false;
    SharedJudgements m_folders;
    SharedJudgements m_projects;
    // Compression codes judged, by code: a catalog holds a few.
    std::vector<std::pair<std::uint32_t, bool>> m_compressionCodes;
    // Sizes and frame rates judged, by their numbers.
    std::vector<std::pair<std::uint64_t, bool>> m_essenceKeys;
    std::array<const MediaRecord*, 4> m_coming{};
    std::size_t m_next = 0;
};
