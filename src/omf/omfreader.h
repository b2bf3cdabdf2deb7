#pragma once
// Reader of OMF media files and other Bento containers. A container ends in a
// 24-byte label pointing to a table of contents (TOC) that lists every
// property value of every object: object id, property id, type id, where the
// value is and how long it is. The reader checks the label, keeps the TOC in
// memory, indexes it by object and property, and reads the header object's
// mob tables. Values are read on demand through the open file.

#include "io/bucketmap.h"
#include "io/bufferedfile.h"
#include "omf/propertytable.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace omf {
// Object ids.
inline constexpr std::uint32_t kHeaderObject = 1;
// Property ids.
inline constexpr std::uint32_t kPropCompositionMobs = 66025;
inline constexpr std::uint32_t kPropMediaData = 66050;
inline constexpr std::uint32_t kPropClass = 66060;
inline constexpr std::uint32_t kPropSourceMobs = 66070;
inline constexpr std::uint32_t kPropAttributeName = 66135;
inline constexpr std::uint32_t kPropAttributeString = 66145;
inline constexpr std::uint32_t kPropMobName = 66205;
inline constexpr std::uint32_t kPropLocatorPath = 66273;
inline constexpr std::uint32_t kPropLocators = 66305;
inline constexpr std::uint32_t kPropFrameCount = 66325;
inline constexpr std::uint32_t kPropMobId = 66350;
inline constexpr std::uint32_t kPropMediaDescriptor = 66355;
inline constexpr std::uint32_t kPropLayout = 67790;
inline constexpr std::uint32_t kPropCompressionText = 67801;
inline constexpr std::uint32_t kPropCompressionCode = 67831;
inline constexpr std::uint32_t kPropDataStream = 67945;
inline constexpr std::uint32_t kPropFrameIndex = 67950;
// Type ids.
inline constexpr std::uint32_t kTypeMobTable = 65645;
inline constexpr std::uint32_t kTypeObjectRef = 65655;
inline constexpr std::uint32_t kTypeObjectRefArray = 65660;
inline constexpr std::uint32_t kTypeClassId = 65665;
inline constexpr std::uint32_t kTypeString = 65680;
inline constexpr std::uint32_t kTypeMobId = 65695;

inline constexpr std::uint8_t kLabelMagic[8] = {0xA4, 0x43, 0x4D, 0xA5, 0x48, 0x64, 0x72, 0xD7};
inline constexpr std::size_t kLabelSize = 24;
inline constexpr std::size_t kTocEntrySize = 24;
inline constexpr std::size_t kMobIndexEntrySize = 20;
// A TOC this large belongs to no media file; refusing it keeps a damaged
// label from making the reader allocate gigabytes.
inline constexpr std::uint32_t kMaxTocSize = 128u << 20;
} // namespace omf

// One TOC entry, decoded. For values stored immediately, immediate holds the
// value bytes as they stand in the file.
struct TocEntry {
    std::uint32_t objectId;
    std::uint32_t propertyId;
    std::uint32_t typeId;
    std::uint32_t valuePosition;
    std::uint32_t valueLength;
    std::array<std::uint8_t, 4> immediate;

    // The immediate field as a little-endian number.
    std::uint32_t immediateValue() const { return valuePosition; }
    bool immediateIs(const char (&fourChars)[5]) const;
};

using PropertyRef = const TocEntry*;

struct ObjectEntry {
    std::uint32_t objectId = 0;
    PropertyTable properties;
};

struct MobIndexEntry {
    std::uint32_t mobId[3];
    std::uint32_t objectId;
};

// Short name of a compression code ("10:1", "AIFF", ...), or the code in
// lower-case hexadecimal. Fills the whole buffer first.
char* CompressionName(std::uint32_t code, char* buffer, std::size_t size);

class OmfReader {
public:
    OmfReader();
    ~OmfReader();
    OmfReader(const OmfReader&) = delete;
    OmfReader& operator=(const OmfReader&) = delete;

    bool Open(const char* path);
    bool IsOpen() const { return !m_objects.empty(); }
    void Close();

    ObjectEntry* FindObject(std::uint32_t objectId);
    PropertyRef FindProperty(ObjectEntry* object, std::uint32_t propertyId) const;
    // The value's bytes, as many as the file holds of them.
    std::vector<std::uint8_t> ReadValue(PropertyRef property);
    // The value's first count bytes, as many of them as the value and the
    // file hold.
    std::vector<std::uint8_t> ReadValueStart(PropertyRef property, std::size_t count);
    // The entries of a table value (a 16-bit count, then the entries of
    // entrySize bytes each): only the entries it states, the value holds
    // and the file holds, at most maxEntries of them, each entrySize bytes.
    std::vector<std::uint8_t> ReadTableEntries(PropertyRef property, std::size_t entrySize,
                                               std::size_t maxEntries = SIZE_MAX);
    // The string's length, 0 on failure, or the buffer size it needs.
    std::uint32_t ReadString(PropertyRef property, char* buffer, std::uint32_t size);
    std::uint32_t ResolveMobId(PropertyRef property);

    const NumberMap<ObjectEntry>& Objects() const { return m_objects; }
    NumberMap<ObjectEntry>& Objects() { return m_objects; }
    const NumberMap<MobIndexEntry>& SourceMobs() const { return m_sourceMobs; }
    const NumberMap<MobIndexEntry>& CompositionMobs() const { return m_compositionMobs; }
    const NumberMap<MobIndexEntry>& MediaData() const { return m_mediaData; }
    const NumberMap<MobIndexEntry>& MobIds() const { return m_mobIds; }
    std::uint64_t FileSize() const { return m_fileSize; }
    // Bytes read from the open file so far, read-ahead included.
    std::uint64_t BytesRead() const { return m_file != nullptr ? m_file->BytesRead() : 0; }
    std::size_t TocEntryCount() const { return m_toc.size(); }
    // The TOC's entries in file order.
    const std::vector<TocEntry>& Toc() const { return m_toc; }

    // Media facts of the container.
    std::uint32_t CompositionName(char* buffer, std::uint32_t size);
    std::uint32_t ProjectName(char* buffer, std::uint32_t size);
    std::uint32_t SourceName(char* buffer, std::uint32_t size);
    enum DescriptorResult { NoDescriptor = 0, AiffDescriptor = 1, OtherDescriptor = 2 };
    // Finds the media descriptor of the media data and reads its compression
    // and frame count; CompressionText and CompressionCode give the result.
    DescriptorResult ReadMediaDescriptor();
    const char* CompressionText() const { return m_compressionText; }
    std::uint32_t CompressionCode() const { return m_compressionCode; }
    bool LoadFrameTable();
    std::uint16_t FrameCount() const { return static_cast<std::uint16_t>(m_frameCount); }
    std::uint32_t FrameSize(std::uint32_t index) const;
    bool ReadFrame(std::uint32_t index, void* buffer, std::uint32_t count);

    std::uint32_t MediaDataObjectId() const { return m_mediaDataObject; }
    std::uint32_t MediaDescriptorObjectId() const { return m_descriptorObject; }
    // Entries of the loaded frame table (positions in the file).
    const std::vector<std::uint64_t>& FrameTable() const { return m_frameTable; }

private:
    void ReadMobTables();
    // The bytes of the value the file holds: its length, or less at the end
    // of the file.
    std::uint64_t HeldLength(PropertyRef property) const;
    std::vector<std::uint8_t> ReadAt(std::uint64_t position, std::size_t count);
    void ClearDescriptorResults();
    // The object an object reference value names (its first 32-bit word);
    // false when the value is missing or shorter than 4 bytes.
    bool ReferencedObject(PropertyRef property, std::uint32_t& objectId);
    bool ClassIs(ObjectEntry* object, const char (&fourChars)[5]) const;

    NumberMap<ObjectEntry> m_objects;
    NumberMap<MobIndexEntry> m_mobIds;
    NumberMap<MobIndexEntry> m_sourceMobs;
    NumberMap<MobIndexEntry> m_compositionMobs;
    NumberMap<MobIndexEntry> m_mediaData;

    char m_compressionText[15] = {};
    std::uint32_t m_compressionCode = 0;
    std::uint32_t m_frameCount = 0;
    std::uint32_t m_mediaDataObject = 0;
    std::uint32_t m_descriptorObject = 0;
    std::vector<std::uint64_t> m_frameTable;
    bool m_hasFrameTable = false;
    // Where the frames end when the table gives no end for the last one.
    std::uint64_t m_frameDataEnd = 0;

    std::unique_ptr<BufferedFile> m_file;
    std::uint64_t m_fileSize = 0;
    std::uint8_t m_label[omf::kLabelSize] = {};
    std::vector<TocEntry> m_toc;
};
