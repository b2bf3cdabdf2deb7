// The media facts of an opened container: clip name, project, source,
// compression, frame count and where each frame lies.

#include "omf/omfreader.h"

#include "feedback/log.h"
#include "io/byteorder.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

using io::le32;

namespace {

// Writes text when the buffer holds it with its terminator.
void putIfFits(char* buffer, std::uint32_t size, const char* text) {
    const std::size_t n = std::strlen(text);
    if (size > n)
        std::memcpy(buffer, text, n + 1);
}

} // namespace

char* CompressionName(std::uint32_t code, char* buffer, std::size_t size) {
    if (buffer == nullptr || size == 0)
        return buffer;
    std::memset(buffer, 0, size);
    struct Name {
        std::uint32_t code;
        const char* name;
    };
    static constexpr Name kNames[] = {
        {0, "Precomp?"}, {1, "AIFF"},    {75, "10:1"},   {76, "2:1"},   {77, "3:1"},
        {78, "15:1s"},   {79, "4:1s"},   {80, "2:1s"},   {82, "20:1"},  {110, "10:1m"},
        {111, "4:1m"},   {140, "411"},   {141, "420"},   {142, "dv50"}, {151, "1:1"},
        {160, "mpg50"},  {161, "mpg40"}, {162, "mpg30"},
    };
    for (const Name& n : kNames) {
        if (n.code == code) {
            std::snprintf(buffer, size, "%s", n.name);
            return buffer;
        }
    }
    std::snprintf(buffer, size, "%x", code);
    return buffer;
}

std::uint32_t OmfReader::CompositionName(char* buffer, std::uint32_t size) {
    if (buffer == nullptr)
        return 0;
    std::memset(buffer, 0, size);
    if (!IsOpen())
        return 0;
    if (m_compositionMobs.empty()) {
        putIfFits(buffer, size, "No Compositions Found");
        return 22;
    }
    if (m_compositionMobs.size() > 1) {
        putIfFits(buffer, size, "Complex File");
        return 13;
    }
    ObjectEntry* object = FindObject(m_compositionMobs.begin()->value.objectId);
    const PropertyRef name = FindProperty(object, omf::kPropMobName);
    return name != nullptr ? ReadString(name, buffer, size) : 0;
}

std::uint32_t OmfReader::ProjectName(char* buffer, std::uint32_t size) {
    if (buffer == nullptr)
        return 0;
    std::memset(buffer, 0, size);
    if (!IsOpen())
        return 0;
    for (auto& [id, object] : m_objects) {
        if (!ClassIs(&object, "ATTB"))
            continue;
        const PropertyRef name = FindProperty(&object, omf::kPropAttributeName);
        if (name == nullptr || std::memcmp(name->immediate.data(), "_PJ", 3) != 0)
            continue;
        const PropertyRef value = FindProperty(&object, omf::kPropAttributeString);
        if (value == nullptr)
            continue;
        return ReadString(value, buffer, size);
    }
    return 0;
}

std::uint32_t OmfReader::SourceName(char* buffer, std::uint32_t size) {
    if (buffer == nullptr || !IsOpen() || m_sourceMobs.empty())
        return 0;
    std::memset(buffer, 0, size);
    for (const auto& [id, mob] : m_sourceMobs) {
        ObjectEntry* source = FindObject(mob.objectId);
        if (source == nullptr)
            return 0;
        std::uint32_t descriptorId = 0;
        if (!ReferencedObject(FindProperty(source, omf::kPropMediaDescriptor), descriptorId))
            return 0;
        ObjectEntry* descriptor = FindObject(descriptorId);
        if (descriptor == nullptr)
            return 0;
        if (ClassIs(descriptor, "MDTP")) {
            const PropertyRef name = FindProperty(source, omf::kPropMobName);
            return name != nullptr ? ReadString(name, buffer, size) : 0;
        }
        if (ClassIs(descriptor, "MDES")) {
            const PropertyRef locators = FindProperty(descriptor, omf::kPropLocators);
            if (locators == nullptr)
                return 0;
            const std::vector<std::uint8_t> entries = ReadTableEntries(locators, 8);
            for (std::size_t at = 0; at < entries.size(); at += 8) {
                ObjectEntry* locator = FindObject(le32(entries.data() + at));
                if (locator != nullptr && ClassIs(locator, "WINL")) {
                    const PropertyRef path = FindProperty(locator, omf::kPropLocatorPath);
                    return path != nullptr ? ReadString(path, buffer, size) : 0;
                }
            }
            return 0;
        }
    }
    return 0;
}

OmfReader::DescriptorResult OmfReader::ReadMediaDescriptor() {
    std::memset(m_compressionText, 0, sizeof m_compressionText);
    m_compressionCode = 0;
    m_mediaDataObject = 0;
    m_descriptorObject = 0;
    const DescriptorResult result = [this] {
        if (!IsOpen())
            return NoDescriptor;
        if (m_mediaData.empty()) {
            std::memcpy(m_compressionText, "N/A", 4);
            return NoDescriptor;
        }
        // Each mob id read costs a read-ahead window; a crafted file whose
        // objects hold millions of them, scattered, would have its bytes
        // read many times over. A real file asks for a few.
        const std::uint64_t budget = BytesRead() + 2 * m_fileSize + (16u << 20);
        bool overBudget = false;
        auto spent = [&] {
            overBudget = overBudget || BytesRead() > budget;
            return overBudget;
        };
        bool matched = false;
        for (const auto& [id, entry] : m_mediaData) {
            ObjectEntry* data = FindObject(entry.objectId);
            if (data == nullptr)
                continue;
            for (const auto& [propertyId, property] : data->properties) {
                if (spent())
                    break;
                if (property->typeId == omf::kTypeMobId &&
                    ResolveMobId(property) == entry.objectId) {
                    m_mediaDataObject = entry.objectId;
                    matched = true;
                    break;
                }
            }
            if (matched || overBudget)
                break;
        }
        if (!matched && !overBudget)
            return NoDescriptor;

        ObjectEntry* source = nullptr;
        for (const auto& [id, mob] : m_sourceMobs) {
            if (spent())
                break;
            ObjectEntry* candidate = FindObject(mob.objectId);
            const PropertyRef mobId = FindProperty(candidate, omf::kPropMobId);
            if (candidate == nullptr || mobId == nullptr)
                return NoDescriptor;
            if (ResolveMobId(mobId) == m_mediaDataObject) {
                source = candidate;
                break;
            }
        }
        if (overBudget) {
            Log("Mob ids read the file over again: no media descriptor");
            return NoDescriptor;
        }
        if (source == nullptr)
            return NoDescriptor;
        std::uint32_t descriptorId = 0;
        if (!ReferencedObject(FindProperty(source, omf::kPropMediaDescriptor), descriptorId))
            return NoDescriptor;
        ObjectEntry* descriptor = FindObject(descriptorId);
        if (descriptor == nullptr)
            return NoDescriptor;
        m_descriptorObject = descriptorId;

        if (const PropertyRef cls = FindProperty(descriptor, omf::kPropClass))
            std::memcpy(m_compressionText, cls->immediate.data(), 4);
        if (ClassIs(descriptor, "AIFD")) {
            m_compressionCode = 1;
            return AiffDescriptor;
        }
        if (const PropertyRef text = FindProperty(descriptor, omf::kPropCompressionText))
            ReadString(text, m_compressionText, sizeof m_compressionText);
        if (const PropertyRef code = FindProperty(descriptor, omf::kPropCompressionCode))
            m_compressionCode = code->immediateValue();
        if (const PropertyRef frames = FindProperty(descriptor, omf::kPropFrameCount))
            m_frameCount = frames->immediateValue();
        return OtherDescriptor;
    }();
    return result;
}

bool OmfReader::LoadFrameTable() {
    m_frameTable.clear();
    m_hasFrameTable = false;
    m_frameDataEnd = 0;
    if (m_mediaDataObject == 0)
        return false;
    ObjectEntry* data = FindObject(m_mediaDataObject);
    if (data == nullptr)
        return false;
    const PropertyRef stream = FindProperty(data, omf::kPropDataStream);
    // Frames end where the data stream ends, or at the end of the file.
    const std::uint64_t streamEnd =
        stream != nullptr ? static_cast<std::uint64_t>(stream->valuePosition) + stream->valueLength
                          : m_fileSize;
    m_frameDataEnd = std::min(streamEnd, m_fileSize);

    if (const PropertyRef index = FindProperty(data, omf::kPropFrameIndex)) {
        const std::vector<std::uint8_t> entries = ReadTableEntries(index, 4);
        for (std::size_t at = 0; at < entries.size(); at += 4)
            m_frameTable.push_back(le32(entries.data() + at));
        m_hasFrameTable = true;
        return true;
    }

    if (m_frameCount != 1 || stream == nullptr || m_descriptorObject == 0)
        return false;
    ObjectEntry* descriptor = FindObject(m_descriptorObject);
    const PropertyRef layout = FindProperty(descriptor, omf::kPropLayout);
    if (descriptor == nullptr || layout == nullptr)
        return false;
    const std::uint32_t expected = layout->immediateValue() == 1 ? 2 : 1;
    const std::uint32_t trailer = 4 * expected + 2;
    if (stream->valueLength < trailer)
        return false;
    const std::uint64_t start =
        static_cast<std::uint64_t>(stream->valuePosition) + stream->valueLength - trailer;
    std::vector<std::uint8_t> bytes(trailer);
    m_file->Seek(static_cast<std::int64_t>(start), BufferedFile::SeekMode::Begin);
    if (m_file->Read(bytes.data(), trailer) != trailer)
        return false;
    if ((bytes[0] | bytes[1] << 8) != static_cast<int>(expected))
        return false;
    for (std::uint32_t i = 0; i < expected; ++i)
        m_frameTable.push_back(static_cast<std::uint64_t>(le32(bytes.data() + 2 + i * 4)) +
                               stream->valuePosition);
    // The trailer itself is no frame data.
    m_frameDataEnd = std::min(start, m_fileSize);
    m_hasFrameTable = true;
    return true;
}

std::uint32_t OmfReader::FrameSize(std::uint32_t index) const {
    if (!m_hasFrameTable)
        return 0;
    const auto i = static_cast<std::uint16_t>(index);
    if (i > static_cast<std::uint16_t>(m_frameCount - 1) || i >= m_frameTable.size())
        return 0;
    const std::uint64_t start = m_frameTable[i];
    const std::uint64_t end = i + 1u < m_frameTable.size() ? m_frameTable[i + 1u] : m_frameDataEnd;
    // A frame the file does not hold whole, or one that ends before it
    // starts, is damaged: it has no size.
    if (end <= start || end > m_fileSize)
        return 0;
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(end - start, 0xFFFFFFFFu));
}

bool OmfReader::ReadFrame(std::uint32_t index, void* buffer, std::uint32_t count) {
    const auto i = static_cast<std::uint16_t>(index);
    if (!m_hasFrameTable || m_file == nullptr || buffer == nullptr || i >= m_frameTable.size())
        return false;
    if (m_frameTable[i] >= m_fileSize)
        return false;
    m_file->Seek(static_cast<std::int64_t>(m_frameTable[i]), BufferedFile::SeekMode::Begin);
    // A frame the file does not hold whole is no frame.
    return m_file->Read(buffer, count) == count;
}
