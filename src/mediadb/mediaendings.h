#pragma once
// The endings of media file names (their last three characters, compared
// case-sensitively) and where each counts: the database scanner accepts all
// eight, a selected file's facts are read for the lower-case four, and a
// double click opens those and "MXF".

#include <cstring>
#include <string_view>

enum MediaEndingUse : unsigned {
    kEndingScanned = 1u << 0,
    kEndingReadFacts = 1u << 1,
    kEndingOpened = 1u << 2,
};

struct MediaEnding {
    char text[4];
    unsigned uses;
};

inline constexpr MediaEnding kMediaEndings[] = {
    {"aif", kEndingScanned | kEndingReadFacts | kEndingOpened},
    {"omf", kEndingScanned | kEndingReadFacts | kEndingOpened},
    {"mxf", kEndingScanned | kEndingReadFacts | kEndingOpened},
    {"wav", kEndingScanned | kEndingReadFacts | kEndingOpened},
    {"AIF", kEndingScanned},
    {"OMF", kEndingScanned},
    {"MXF", kEndingScanned | kEndingOpened},
    {"WAV", kEndingScanned},
};

// Whether the last three characters of name are an ending of that use.
inline bool HasMediaEnding(std::string_view name, MediaEndingUse use) {
    if (name.size() < 3)
        return false;
    const char* e = name.data() + name.size() - 3;
    for (const MediaEnding& ending : kMediaEndings) {
        if ((ending.uses & use) != 0 && std::memcmp(e, ending.text, 3) == 0)
            return true;
    }
    return false;
}
