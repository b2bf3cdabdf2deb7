#include "mediadb/filefacts.h"

#include "mediadb/mediacatalog.h"

#include <cstdint>
#include <cstring>

bool IsMxfName(std::string_view name) {
    return name.ends_with("mxf") || name.ends_with("MXF");
}

namespace {

// A text the OMF reader wrote into a buffer of that size.
std::string bufferText(const char* buffer, std::size_t size) {
    return std::string(buffer, strnlen(buffer, size));
}

// A count for a 16-bit field; 0 (unknown) when it does not fit.
std::uint16_t small(int n) {
    return n > 0 && n <= UINT16_MAX ? static_cast<std::uint16_t>(n) : 0;
}

void essenceOf(const MxfFacts& mxf, FileFacts& facts) {
    if (mxf.hasPicture) {
        facts.rate = PackRate(mxf.frameRateNumerator, mxf.frameRateDenominator);
        facts.duration = facts.rate != 0 ? static_cast<std::uint64_t>(mxf.frameCount) : 0;
        facts.width = small(mxf.displayWidth);
        facts.height = small(mxf.displayHeight);
        if (facts.width == 0 || facts.height == 0)
            facts.width = facts.height = 0;
    } else if (mxf.hasSound && mxf.sampleRate > 0) {
        facts.sampleRate = static_cast<std::uint32_t>(mxf.sampleRate);
        facts.duration = static_cast<std::uint64_t>(mxf.sampleCount);
        facts.channels = small(mxf.channels);
        facts.rate = PackRate(mxf.timecodeRateNumerator, mxf.timecodeRateDenominator);
    }
}

} // namespace

std::optional<FileFacts> FactsReader::Read(const std::string& path, unsigned wanted) {
    Close();
    FileFacts facts;
    if (m_readMxf && IsMxfName(path) && m_mxf.Open(path)) {
        const MxfFacts& mxf = m_mxf.Facts();
        facts.kind = FileFacts::Kind::Mxf;
        facts.projectName = mxf.projectName;
        facts.hasProject = !mxf.projectName.empty();
        facts.clipName = mxf.clipName;
        facts.compressionText = mxf.codecShortName;
        facts.codecName = mxf.codecName;
        facts.sourceName = mxf.sourceName;
        facts.hasSource = !mxf.sourceName.empty();
        essenceOf(mxf, facts);
        return facts;
    }
    if (!m_omf.Open(path.c_str()))
        return std::nullopt;
    // Read into buffers of the sizes the editing application's own files
    // are read with.
    if (wanted & kFactProject) {
        char project[kProjectNameLimit];
        facts.hasProject = m_omf.ProjectName(project, sizeof project) != 0;
        facts.projectName = bufferText(project, sizeof project);
    }
    if (wanted & kFactClip) {
        char clip[259];
        m_omf.CompositionName(clip, sizeof clip);
        facts.clipName = bufferText(clip, sizeof clip);
    }
    if (wanted & kFactCompression) {
        m_omf.ReadMediaDescriptor();
        facts.compressionText = m_omf.CompressionText();
        facts.compressionCode = m_omf.CompressionCode();
    }
    if (wanted & kFactSource) {
        char source[260];
        if (m_omf.SourceName(source, sizeof source) != 0) {
            facts.sourceName = bufferText(source, sizeof source);
            facts.hasSource = true;
        }
    }
    return facts;
}

std::optional<FileFacts> FactsReader::Read(const MediaRecord& record, unsigned wanted) {
    if (record.folder[0] == '\0')
        return std::nullopt;
    return Read(MediaCatalog::FullPath(record), wanted);
}

void FactsReader::Close() {
    m_omf.Close();
    m_mxf.Close();
}

void ApplyFacts(const FileFacts& facts, unsigned fields, MediaRecord& record) {
    if (fields & kFactProject) {
        if (!facts.hasProject) {
            SetRecordText(record.projectName, kNullProject);
        } else {
            RecordText<kProjectNameLimit + 1> name;
            name.Set(facts.projectName);
            record.projectName.Set(name);
        }
        record.projectNameLength = static_cast<std::uint32_t>(std::strlen(record.projectName));
    }
    if (fields & kFactClip)
        SetRecordText(record.nameInBin, facts.clipName);
    if (fields & kFactCompression) {
        SetRecordText(record.compressionText, facts.compressionText);
        SetRecordText(record.codecName, facts.codecName);
        record.compressionCode = facts.compressionCode;
    }
    // A source that cannot be read is none.
    if (fields & kFactSource)
        SetRecordText(record.sourceName, facts.sourceName);
    if (fields & kFactEssence) {
        record.duration = facts.duration;
        record.rate = facts.rate;
        record.sampleRate = facts.sampleRate;
        record.width = facts.width;
        record.height = facts.height;
        record.channels = facts.channels;
    }
}
