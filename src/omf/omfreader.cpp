#include "omf/omfreader.h"

#include "feedback/log.h"
#include "io/byteorder.h"

#include <algorithm>
#include <cstring>

using io::le16;
using io::le32;

bool TocEntry::immediateIs(const char (&fourChars)[5]) const {
    return std::memcmp(immediate.data(), fourChars, 4) == 0;
}

OmfReader::OmfReader() = default;

OmfReader::~OmfReader() {
    Close();
}

void OmfReader::ClearDescriptorResults() {
    std::memset(m_compressionText, 0, sizeof m_compressionText);
    m_compressionCode = 0;
    m_frameCount = 0;
    m_mediaDataObject = 0;
    m_descriptorObject = 0;
}

void OmfReader::Close() {
    m_file.reset();
    m_fileSize = 0;
    m_toc.clear();
    m_toc.shrink_to_fit();
    m_frameTable.clear();
    m_hasFrameTable = false;
    m_frameDataEnd = 0;
    m_objects.clear();
    m_mobIds.clear();
    m_sourceMobs.clear();
    m_compositionMobs.clear();
    m_mediaData.clear();
    ClearDescriptorResults();
}

bool OmfReader::Open(const char* path) {
    Close();
    ClearDescriptorResults();
    m_file = std::make_unique<BufferedFile>();
    if (!m_file->Open(path)) {
        Close();
        return false;
    }
    m_fileSize = m_file->GetLength();
    if (m_fileSize <= omf::kLabelSize) {
        Close();
        return false;
    }
    m_file->Seek(static_cast<std::int64_t>(m_fileSize - omf::kLabelSize),
                 BufferedFile::SeekMode::Begin);
    std::memset(m_label, 0, sizeof m_label);
    const bool labelRead = m_file->Read(m_label, omf::kLabelSize) == omf::kLabelSize;
    const std::uint32_t tocOffset = le32(m_label + 16);
    const std::uint32_t tocSize = le32(m_label + 20);
    if (!labelRead || std::memcmp(m_label, omf::kLabelMagic, 8) != 0 || le16(m_label + 12) != 1 ||
        le16(m_label + 10) != 0x4949 || tocSize > m_fileSize || tocSize > omf::kMaxTocSize) {
        Log("Bad Header");
        Close();
        return false;
    }
    if (!m_file->IsOpen()) {
        Log("GoToMOBTable Failed");
        Close();
        return false;
    }
    // A TOC that runs past the end of the file yields the entries it holds.
    // It is read in pieces of whole entries, so that a large one is never
    // held twice.
    constexpr std::size_t kPieceEntries = 2730;
    const std::uint64_t available = tocOffset < m_fileSize ? m_fileSize - tocOffset : 0;
    const std::uint64_t tocBytes = std::min<std::uint64_t>(tocSize, available);
    m_toc.reserve(static_cast<std::size_t>(tocBytes / omf::kTocEntrySize));
    std::vector<std::uint8_t> piece(kPieceEntries * omf::kTocEntrySize);
    m_file->Seek(tocOffset, BufferedFile::SeekMode::Begin);
    for (std::uint64_t done = 0; done < tocBytes;) {
        const auto wanted =
            static_cast<std::uint32_t>(std::min<std::uint64_t>(piece.size(), tocBytes - done));
        const std::uint32_t got = m_file->Read(piece.data(), wanted);
        for (std::size_t at = 0; at + omf::kTocEntrySize <= got; at += omf::kTocEntrySize) {
            const std::uint8_t* e = piece.data() + at;
            TocEntry& entry = m_toc.emplace_back();
            entry.objectId = le32(e);
            entry.propertyId = le32(e + 4);
            entry.typeId = le32(e + 8);
            entry.valuePosition = le32(e + 12);
            entry.valueLength = le32(e + 16);
            std::memcpy(entry.immediate.data(), e + 12, 4);
        }
        done += got;
        if (got < wanted)
            break;
    }
    // The entries of one object usually stand together: one lookup a run.
    ObjectEntry* object = nullptr;
    for (const TocEntry& entry : m_toc) {
        if (object == nullptr || object->objectId != entry.objectId) {
            const auto [found, created] = m_objects.insert(entry.objectId);
            if (created)
                found->objectId = entry.objectId;
            object = found;
        }
        *object->properties.insert(entry.propertyId).first = &entry;
    }
    // A container without a single entry holds nothing to ask about: it does
    // not count as open, so Open and IsOpen agree.
    if (m_objects.empty()) {
        Close();
        return false;
    }
    ReadMobTables();
    return true;
}

void OmfReader::ReadMobTables() {
    // The mob tables of a valid file are values of their own: reading them
    // all reads no more than the file once, and a read-ahead window for each.
    // Entries beyond that name bytes already read, again and again; reading
    // them would read a large file as many times as its TOC has entries.
    constexpr std::uint64_t kReadAheadAllowance = 16 * 4096;
    const std::uint64_t budget = m_file->BytesRead() + m_fileSize + kReadAheadAllowance;
    for (const TocEntry& entry : m_toc) {
        if (entry.objectId != omf::kHeaderObject)
            break;
        if (entry.typeId != omf::kTypeMobTable)
            continue;
        NumberMap<MobIndexEntry>* table = nullptr;
        if (entry.propertyId == omf::kPropSourceMobs)
            table = &m_sourceMobs;
        else if (entry.propertyId == omf::kPropCompositionMobs)
            table = &m_compositionMobs;
        else if (entry.propertyId == omf::kPropMediaData)
            table = &m_mediaData;
        else
            continue;
        if (m_file->BytesRead() > budget) {
            Log("Mob tables read the file over again: the rest are left out");
            return;
        }
        const std::vector<std::uint8_t> entries = ReadTableEntries(&entry, omf::kMobIndexEntrySize);
        for (std::size_t at = 0; at < entries.size(); at += omf::kMobIndexEntrySize) {
            const std::uint8_t* e = entries.data() + at;
            const MobIndexEntry mob{{le32(e), le32(e + 4), le32(e + 8)}, le32(e + 12)};
            *table->insert(mob.objectId).first = mob;
            *m_mobIds.insert(mob.mobId[2]).first = mob;
        }
    }
}

ObjectEntry* OmfReader::FindObject(std::uint32_t objectId) {
    return m_objects.find(objectId);
}

PropertyRef OmfReader::FindProperty(ObjectEntry* object, std::uint32_t propertyId) const {
    if (object == nullptr)
        return nullptr;
    const PropertyRef* found = object->properties.find(propertyId);
    return found != nullptr ? *found : nullptr;
}

std::uint64_t OmfReader::HeldLength(PropertyRef property) const {
    // Only what the file holds can be read, whatever the length field says.
    const std::uint64_t position = property->valuePosition;
    const std::uint64_t available = position < m_fileSize ? m_fileSize - position : 0;
    return std::min<std::uint64_t>(property->valueLength, available);
}

std::vector<std::uint8_t> OmfReader::ReadAt(std::uint64_t position, std::size_t count) {
    std::vector<std::uint8_t> bytes(count);
    if (count == 0)
        return bytes;
    m_file->Seek(static_cast<std::int64_t>(position), BufferedFile::SeekMode::Begin);
    bytes.resize(m_file->Read(bytes.data(), static_cast<std::uint32_t>(count)));
    return bytes;
}

std::vector<std::uint8_t> OmfReader::ReadValue(PropertyRef property) {
    return ReadValueStart(property, SIZE_MAX);
}

std::vector<std::uint8_t> OmfReader::ReadValueStart(PropertyRef property, std::size_t count) {
    if (property == nullptr || m_file == nullptr || !m_file->IsOpen())
        return {};
    const std::uint64_t length = std::min<std::uint64_t>(HeldLength(property), count);
    return ReadAt(property->valuePosition, static_cast<std::size_t>(length));
}

std::vector<std::uint8_t> OmfReader::ReadTableEntries(PropertyRef property, std::size_t entrySize,
                                                      std::size_t maxEntries) {
    const std::vector<std::uint8_t> head = ReadValueStart(property, 2);
    if (head.size() < 2 || entrySize == 0)
        return {};
    const std::uint64_t fit = (HeldLength(property) - 2) / entrySize;
    const std::uint64_t count =
        std::min<std::uint64_t>({le16(head.data()), fit, static_cast<std::uint64_t>(maxEntries)});
    std::vector<std::uint8_t> entries =
        ReadAt(static_cast<std::uint64_t>(property->valuePosition) + 2,
               static_cast<std::size_t>(count * entrySize));
    // A read cut short by the end of the file gives the whole entries it got.
    entries.resize(entries.size() / entrySize * entrySize);
    return entries;
}

std::uint32_t OmfReader::ReadString(PropertyRef property, char* buffer, std::uint32_t size) {
    if (property == nullptr)
        return 0;
    const std::uint64_t needed = static_cast<std::uint64_t>(property->valueLength) + 1;
    if (size < needed)
        return static_cast<std::uint32_t>(std::min<std::uint64_t>(needed, 0xFFFFFFFFu));
    if (m_file == nullptr || !m_file->IsOpen() || buffer == nullptr)
        return 0;
    std::memset(buffer, 0, size);
    if (property->typeId != omf::kTypeString && property->typeId != omf::kTypeClassId)
        return 0;
    if (property->valueLength == 0)
        return 0;
    if (property->valueLength <= 4) {
        std::memcpy(buffer, property->immediate.data(), property->valueLength);
    } else {
        m_file->Seek(property->valuePosition, BufferedFile::SeekMode::Begin);
        m_file->Read(buffer, property->valueLength);
    }
    return property->valueLength;
}

std::uint32_t OmfReader::ResolveMobId(PropertyRef property) {
    if (property == nullptr || property->valueLength != 12)
        return 0;
    const std::vector<std::uint8_t> value = ReadValue(property);
    if (value.size() != 12)
        return 0;
    const MobIndexEntry* mob = m_mobIds.find(le32(value.data() + 8));
    return mob != nullptr ? mob->objectId : 0;
}

bool OmfReader::ReferencedObject(PropertyRef property, std::uint32_t& objectId) {
    if (property == nullptr || property->valueLength < 4)
        return false;
    std::uint8_t word[4];
    m_file->Seek(property->valuePosition, BufferedFile::SeekMode::Begin);
    if (m_file->Read(word, 4) != 4)
        return false;
    objectId = le32(word);
    return true;
}

bool OmfReader::ClassIs(ObjectEntry* object, const char (&fourChars)[5]) const {
    const PropertyRef cls = FindProperty(object, omf::kPropClass);
    return cls != nullptr && cls->immediateIs(fourChars);
}
