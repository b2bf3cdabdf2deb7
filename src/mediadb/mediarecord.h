#pragma once
// One media file as the catalog holds it: a plain fixed-size record, copied
// by value, every text zero-terminated in its fixed field.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

// Project names are short. A media file's project attribute is read into
// kProjectNameLimit bytes and an MXF file's name cut to as many characters;
// a database's record stores at most kDatabaseProjectNameLimit (its records
// are laid out for that). The record's field holds the longer with its
// terminator.
inline constexpr std::size_t kProjectNameLimit = 69;
inline constexpr int kDatabaseProjectNameLimit = 66;

struct MediaRecord {
    std::uint32_t projectNameLength; // as the database gave it
    char projectName[72];
    std::uint32_t fileNameLength;
    char folder[261];         // where the file lies; empty when it was not found
    char fileName[261];       // the media file's name, no folder
    char nameInBin[261];      // the clip's name
    char sourceName[261];     // tape name or source file path
    char compressionText[15]; // e.g. "JFIF", "N/A"; an MXF file's codec's short name
    char codecName[40];       // an MXF file's codec ("VC3/DNxHD"); empty for OMF
    std::uint32_t compressionCode;
    std::uint64_t size;
    std::int32_t attributes;    // file attribute bits, or kFileMissing
    std::uint64_t creationTime; // 100 ns units since 1601-01-01 UTC; 0 = none
    std::uint32_t catalogIndex;
    std::uint32_t projectNumber;
};

static_assert(sizeof MediaRecord::projectName > kProjectNameLimit);

// The attributes of a record whose file does not exist: not found where the
// database said, or moved or deleted since.
inline constexpr std::int32_t kFileMissing = -1;
inline bool IsMissing(const MediaRecord& record) {
    return record.attributes == kFileMissing;
}

inline constexpr char kNullProject[] = "**NULL_PROJECT";
inline constexpr char kUnreferencedProject[] = "**UNREFERENCED FILES";
inline constexpr char kFileNotExistProject[] = "**FILE_NOT_EXIST";

// Puts text into a fixed record field, cut to fit with its terminator (never
// inside a UTF-8 character).
template <std::size_t N> void SetRecordText(char (&field)[N], std::string_view text) {
    std::size_t n = text.size();
    if (n > N - 1) {
        n = N - 1;
        while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80)
            --n;
    }
    std::memcpy(field, text.data(), n);
    field[n] = '\0';
}
