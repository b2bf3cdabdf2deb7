#pragma once
// One media file as the catalog holds it: a small record, copied by value,
// whose texts are shared rather than copied.

#include "io/sharedtext.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Project names are short. A media file's project attribute is read into
// kProjectNameLimit bytes and an MXF file's name cut to as many characters;
// a database's record stores at most kDatabaseProjectNameLimit (its records
// are laid out for that). The record's field holds the longer with its
// terminator.
inline constexpr std::size_t kProjectNameLimit = 69;
inline constexpr int kDatabaseProjectNameLimit = 66;

// A text field of a record: at most N - 1 bytes. The characters live in a
// SharedText, so that copies of a record, and records of one folder or
// project, share them. Reads as a zero-terminated string.
template <std::size_t N> class RecordText {
public:
    // The bytes the field holds with a terminator, as its fixed form had.
    static constexpr std::size_t kCapacity = N;

    operator const char*() const { return m_text.c_str(); }
    operator std::string_view() const { return m_text.view(); }
    const char* c_str() const { return m_text.c_str(); }
    std::string_view view() const { return m_text.view(); }
    std::string str() const { return m_text.str(); }
    std::size_t size() const { return m_text.size(); }
    bool empty() const { return m_text.empty(); }
    const SharedText& shared() const { return m_text; }

    // The text cut to fit (never inside a UTF-8 character).
    void Set(std::string_view text) {
        std::size_t n = text.size();
        if (n > N - 1) {
            n = N - 1;
            while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80)
                --n;
        }
        m_text = SharedText(text.substr(0, n));
    }
    // The whole text; false, leaving the field empty, when it does not fit.
    bool SetWhole(std::string_view text) {
        if (text.size() > N - 1) {
            m_text = SharedText();
            return false;
        }
        m_text = SharedText(text);
        return true;
    }
    // Shares a text held elsewhere; false, leaving the field empty, when it
    // does not fit.
    bool Share(const SharedText& text) {
        if (text.size() > N - 1) {
            m_text = SharedText();
            return false;
        }
        m_text = text;
        return true;
    }
    void Clear() { m_text = SharedText(); }

    friend bool operator==(const RecordText& a, const RecordText& b) {
        return a.view() == b.view();
    }
    friend bool operator==(const RecordText& field, const std::string& text) {
        return field.view() == text;
    }
    // Comparing with a character pointer would compare addresses.
    friend bool operator==(const RecordText&, const char*) = delete;

private:
    SharedText m_text;
};

// A rate (frames or samples per second) packed into 32 bits: the reduced
// fraction's numerator in the high 20 bits, its denominator in the low 12.
// 0 is none; a rate whose reduced fraction does not fit is none too.
using PackedRate = std::uint32_t;
inline constexpr std::uint32_t kRateDenominatorBits = 12;

constexpr PackedRate PackRate(std::int64_t num, std::int64_t den) {
    if (num <= 0 || den <= 0)
        return 0;
    std::int64_t a = num;
    std::int64_t b = den;
    while (b != 0) {
        const std::int64_t r = a % b;
        a = b;
        b = r;
    }
    num /= a;
    den /= a;
    if (num >= (std::int64_t{1} << (32 - kRateDenominatorBits)) ||
        den >= (std::int64_t{1} << kRateDenominatorBits))
        return 0;
    return static_cast<PackedRate>(num << kRateDenominatorBits | den);
}
constexpr std::uint32_t RateNumerator(PackedRate rate) {
    return rate >> kRateDenominatorBits;
}
constexpr std::uint32_t RateDenominator(PackedRate rate) {
    return rate & ((1u << kRateDenominatorBits) - 1);
}

struct MediaRecord {
    RecordText<72> projectName;
    RecordText<261> folder;         // where the file lies; empty when it was not found
    RecordText<261> fileName;       // the media file's name, no folder
    RecordText<261> nameInBin;      // the clip's name
    RecordText<261> sourceName;     // tape name or source file path
    RecordText<15> compressionText; // e.g. "JFIF", "N/A"; an MXF file's codec's short name
    RecordText<40> codecName;       // an MXF file's codec ("VC3/DNxHD"); empty for OMF
    std::uint64_t size = 0;
    std::uint64_t creationTime = 0;      // 100 ns units since 1601-01-01 UTC; 0 = none
    std::uint32_t projectNameLength = 0; // as the database gave it
    std::uint32_t fileNameLength = 0;
    std::uint32_t compressionCode = 0;
    std::int32_t attributes = 0; // file attribute bits, or kFileMissing
    std::uint32_t catalogIndex = 0;
    std::uint32_t projectNumber = 0;
    // What an MXF file's essence is, as the file says (0 when unknown or not
    // read; OMF files leave them 0). A picture: its frames at `rate`, and
    // its displayed size. Sound: its samples at `sampleRate`, its channels,
    // and in `rate` the video rate its duration is told in timecode at.
    std::uint64_t duration = 0;
    PackedRate rate = 0;
    std::uint32_t sampleRate = 0;
    std::uint16_t width = 0;
    std::uint16_t height = 0;
    std::uint16_t channels = 0;

    // Field by field, texts by their characters.
    bool operator==(const MediaRecord&) const = default;
};

static_assert(decltype(MediaRecord::projectName)::kCapacity > kProjectNameLimit);

// The attributes of a record whose file does not exist: not found where the
// database said, or moved or deleted since.
inline constexpr std::int32_t kFileMissing = -1;
inline bool IsMissing(const MediaRecord& record) {
    return record.attributes == kFileMissing;
}

inline constexpr char kNullProject[] = "**NULL_PROJECT";
inline constexpr char kUnreferencedProject[] = "**UNREFERENCED FILES";
inline constexpr char kFileNotExistProject[] = "**FILE_NOT_EXIST";

// Puts text into a record field, cut to fit (never inside a UTF-8
// character).
template <std::size_t N> void SetRecordText(RecordText<N>& field, std::string_view text) {
    field.Set(text);
}
