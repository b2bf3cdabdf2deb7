#pragma once
// What the program shows of one media file, read from its container.

#include "omf/omfreader.h"

#include <cstdint>
#include <string>

struct MediaFacts {
    // The clip's name: the composition's name, or "No Compositions Found",
    // "Complex File"; at most 257 characters.
    std::string clipName;
    // The compression's short text ("JFIF", "N/A", the descriptor's class).
    std::string compressionText;
    std::uint32_t compressionCode = 0;
    // The tape's name or the source file's path, when it could be read.
    std::string sourceName;
    bool hasSource = false;
    OmfReader::DescriptorResult descriptor = OmfReader::NoDescriptor;
};

// Reads the facts of the container the reader has open.
MediaFacts ReadMediaFacts(OmfReader& reader);
