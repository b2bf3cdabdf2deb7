#pragma once
// The facts of a media file read from the file itself, in one place for
// every caller: the folder and bin scans, the information panel and the
// analysis of selected files. An MXF name is read as MXF first, when MXF
// files are read at all; everything else, and an MXF file that does not
// open as one, as an OMF container.

#include "mediadb/mediarecord.h"
#include "mxf/mxfreader.h"
#include "omf/omfreader.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Whether a file of that name is read as MXF: it ends in "mxf" or "MXF".
bool IsMxfName(std::string_view name);

// The facts a caller wants; an OMF file's take a read each.
enum FactField : unsigned {
    kFactProject = 1,
    kFactClip = 2,
    kFactCompression = 4,
    kFactSource = 8,
    // An MXF file's duration, size and rates (nothing for OMF files).
    kFactEssence = 16,
};
inline constexpr unsigned kAllFacts =
    kFactProject | kFactClip | kFactCompression | kFactSource | kFactEssence;

struct FileFacts {
    enum class Kind { Omf, Mxf };
    Kind kind = Kind::Omf;
    // hasProject when the file names one (its name may still be too long to
    // read, and so empty).
    std::string projectName;
    bool hasProject = false;
    std::string clipName;
    // The compression's short text ("JFIF", "N/A"; an MXF codec's short
    // name), OMF's compression code (0 for MXF) and an MXF codec's name.
    std::string compressionText;
    std::uint32_t compressionCode = 0;
    std::string codecName;
    // The tape or source file; hasSource when it could be read.
    std::string sourceName;
    bool hasSource = false;
    // An MXF file's essence, as the record keeps it (MediaRecord).
    std::uint64_t duration = 0;
    PackedRate rate = 0;
    std::uint32_t sampleRate = 0;
    std::uint16_t width = 0;
    std::uint16_t height = 0;
    std::uint16_t channels = 0;
};

class FactsReader {
public:
    // Whether MXF names are read as MXF; off, they are tried as OMF.
    void SetReadMxf(bool on) { m_readMxf = on; }
    bool ReadsMxf() const { return m_readMxf; }

    // Opens the media file and reads the wanted facts; nothing when it opens
    // as neither kind. The file stays open, for its frames, until the next
    // Read or Close.
    std::optional<FileFacts> Read(const std::string& path, unsigned wanted);
    // A record's media file; a record without a folder names no file (its
    // path would be a name at the root of the file system).
    std::optional<FileFacts> Read(const MediaRecord& record, unsigned wanted);
    void Close();

    OmfReader& Omf() { return m_omf; }
    MxfReader& Mxf() { return m_mxf; }

private:
    OmfReader m_omf;
    MxfReader m_mxf;
    bool m_readMxf = true;
};

// Puts the facts into the record's fields, those of the fields given. A
// project the file does not name is "**NULL_PROJECT"; a source that could
// not be read is empty.
void ApplyFacts(const FileFacts& facts, unsigned fields, MediaRecord& record);
