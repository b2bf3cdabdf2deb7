#pragma once
// Builds OMF (Bento) containers from a description: objects with properties,
// each value stored immediately or in the data area, the header object's mob
// tables, a table of contents and the label. Values go into the file in the
// order they are added; TOC entries in the order their properties are added.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct BuilderMob {
    std::uint32_t mobId[3];
    std::uint32_t objectId;
};

class OmfBuilder {
public:
    OmfBuilder();

    // A value stored in the TOC entry itself (at most 4 bytes).
    OmfBuilder& immediate(std::uint32_t object, std::uint32_t property, std::uint32_t type,
                          std::uint32_t value, std::uint32_t length = 4);
    OmfBuilder& immediateBytes(std::uint32_t object, std::uint32_t property, std::uint32_t type,
                               std::string_view bytes);
    // A value written into the data area.
    OmfBuilder& positioned(std::uint32_t object, std::uint32_t property, std::uint32_t type,
                           const std::vector<std::uint8_t>& bytes);
    // A TOC entry with any position and length, for damaged containers.
    OmfBuilder& raw(std::uint32_t object, std::uint32_t property, std::uint32_t type,
                    std::uint32_t position, std::uint32_t length);

    OmfBuilder& classId(std::uint32_t object, std::string_view fourChars);
    // A string: immediate when at most 4 bytes, else in the data area.
    OmfBuilder& string(std::uint32_t object, std::uint32_t property, std::string_view text);
    OmfBuilder& objectRef(std::uint32_t object, std::uint32_t property, std::uint32_t target);
    OmfBuilder& objectRefArray(std::uint32_t object, std::uint32_t property,
                               const std::vector<std::uint32_t>& targets);
    OmfBuilder& mobId(std::uint32_t object, std::uint32_t property, const std::uint32_t (&id)[3]);
    // A property or type definition: an object whose id is the property's
    // or the type's, holding its name as a value of type 21, as containers
    // written by other software hold them. Definitions stand in the TOC
    // after the header's entries, before any object's class.
    OmfBuilder& definition(std::uint32_t id, std::string_view name);
    // One of the header object's mob tables (property 66070, 66025 or 66050).
    OmfBuilder& mobTable(std::uint32_t property, const std::vector<BuilderMob>& mobs,
                         std::uint16_t statedCount = 0xFFFF);

    // Bytes added to the data area; returns where they start.
    std::uint32_t data(const std::vector<std::uint8_t>& bytes);

    // Label fields, for damaged containers.
    OmfBuilder& byteOrder(std::uint16_t mark) {
        m_byteOrder = mark;
        return *this;
    }
    OmfBuilder& version(std::uint16_t v) {
        m_version = v;
        return *this;
    }
    OmfBuilder& statedTocSize(std::uint32_t size) {
        m_tocSizeOverride = size;
        m_overrideToc = true;
        return *this;
    }
    OmfBuilder& magicByte(std::size_t index, std::uint8_t value) {
        m_magic[index] = value;
        return *this;
    }

    std::vector<std::uint8_t> build() const;
    void write(const std::string& path) const;

private:
    struct Entry {
        std::uint32_t object, property, type, position, length;
    };
    std::vector<std::uint8_t> m_data;
    std::vector<Entry> m_entries;
    std::uint16_t m_byteOrder = 0x4949;
    std::uint16_t m_version = 1;
    bool m_overrideToc = false;
    std::uint32_t m_tocSizeOverride = 0;
    std::uint8_t m_magic[8];
};

// A typical media file as Avid applications write it: a project attribute,
// one composition mob (the clip), a file source mob whose media descriptor
// names the compression, and the media data with its frames.
struct MediaFileDesc {
    std::string project = "Project";    // empty: no project attribute
    std::string clipName = "Clip 0001"; // the composition mob's name
    int compositions = 1;
    std::string descriptorClass = "MDES";             // "AIFD" for audio
    std::string compressionText = "JFIF";             // empty: none
    std::uint32_t compressionCode = 75;               // 0: none
    std::string sourcePath = "C:\\Capture\\clip.avi"; // a Windows locator; empty: none
    std::string tapeName; // non-empty: the descriptor is a tape descriptor
    int frames = 3;
    bool jpegFrames = true;   // JPEG frames, else filler bytes
    bool testPattern = false; // frames showing their number (else a gradient)
    bool greyFrames = false;  // test pattern frames in grey
    bool frameIndex = true;   // a frame index with frames + 1 entries; else a trailer
    std::uint32_t layout = 0; // the layout value for a trailer (1: two entries)
    int width = 64;
    int height = 48;
};

OmfBuilder BuildMediaFile(const MediaFileDesc& desc);
// The frames BuildMediaFile puts into a file of that description.
std::vector<std::vector<std::uint8_t>> MediaFileFrames(const MediaFileDesc& desc);
