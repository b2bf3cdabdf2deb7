#include "builders/omfbuilder.h"

#include "builders/databasebuilder.h"
#include "builders/jpegframes.h"

#include <cstring>
#include <initializer_list>
#include <utility>

namespace {

void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void put16(std::vector<std::uint8_t>& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

constexpr std::uint8_t kMagic[8] = {0xA4, 0x43, 0x4D, 0xA5, 0x48, 0x64, 0x72, 0xD7};

} // namespace

OmfBuilder::OmfBuilder() {
    std::memcpy(m_magic, kMagic, 8);
    // A preamble, so that no value lies at position 0.
    const char preamble[] = "OMF test container";
    m_data.assign(preamble, preamble + sizeof preamble);
}

std::uint32_t OmfBuilder::data(const std::vector<std::uint8_t>& bytes) {
    const auto at = static_cast<std::uint32_t>(m_data.size());
    m_data.insert(m_data.end(), bytes.begin(), bytes.end());
    return at;
}

OmfBuilder& OmfBuilder::immediate(std::uint32_t object, std::uint32_t property, std::uint32_t type,
                                  std::uint32_t value, std::uint32_t length) {
    m_entries.push_back({object, property, type, value, length});
    return *this;
}

OmfBuilder& OmfBuilder::immediateBytes(std::uint32_t object, std::uint32_t property,
                                       std::uint32_t type, std::string_view bytes) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < bytes.size() && i < 4; ++i)
        value |= static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[i])) << (8 * i);
    return immediate(object, property, type, value, static_cast<std::uint32_t>(bytes.size()));
}

OmfBuilder& OmfBuilder::positioned(std::uint32_t object, std::uint32_t property, std::uint32_t type,
                                   const std::vector<std::uint8_t>& bytes) {
    const std::uint32_t at = data(bytes);
    m_entries.push_back({object, property, type, at, static_cast<std::uint32_t>(bytes.size())});
    return *this;
}

OmfBuilder& OmfBuilder::raw(std::uint32_t object, std::uint32_t property, std::uint32_t type,
                            std::uint32_t position, std::uint32_t length) {
    m_entries.push_back({object, property, type, position, length});
    return *this;
}

OmfBuilder& OmfBuilder::classId(std::uint32_t object, std::string_view fourChars) {
    return immediateBytes(object, 66060, 65665, fourChars);
}

OmfBuilder& OmfBuilder::string(std::uint32_t object, std::uint32_t property,
                               std::string_view text) {
    if (text.size() <= 4)
        return immediateBytes(object, property, 65680, text);
    return positioned(object, property, 65680, std::vector<std::uint8_t>(text.begin(), text.end()));
}

OmfBuilder& OmfBuilder::definition(std::uint32_t id, std::string_view name) {
    return positioned(id, 1, 21, std::vector<std::uint8_t>(name.begin(), name.end()));
}

OmfBuilder& OmfBuilder::objectRef(std::uint32_t object, std::uint32_t property,
                                  std::uint32_t target) {
    std::vector<std::uint8_t> bytes;
    put32(bytes, target);
    return positioned(object, property, 65655, bytes);
}

OmfBuilder& OmfBuilder::objectRefArray(std::uint32_t object, std::uint32_t property,
                                       const std::vector<std::uint32_t>& targets) {
    std::vector<std::uint8_t> bytes;
    put16(bytes, static_cast<std::uint16_t>(targets.size()));
    for (std::uint32_t t : targets) {
        put32(bytes, t);
        put32(bytes, 0);
    }
    return positioned(object, property, 65660, bytes);
}

OmfBuilder& OmfBuilder::mobId(std::uint32_t object, std::uint32_t property,
                              const std::uint32_t (&id)[3]) {
    std::vector<std::uint8_t> bytes;
    for (std::uint32_t w : id)
        put32(bytes, w);
    return positioned(object, property, 65695, bytes);
}

OmfBuilder& OmfBuilder::mobTable(std::uint32_t property, const std::vector<BuilderMob>& mobs,
                                 std::uint16_t statedCount) {
    std::vector<std::uint8_t> bytes;
    put16(bytes, statedCount == 0xFFFF ? static_cast<std::uint16_t>(mobs.size()) : statedCount);
    for (const BuilderMob& m : mobs) {
        for (std::uint32_t w : m.mobId)
            put32(bytes, w);
        put32(bytes, m.objectId);
        put32(bytes, 0);
    }
    return positioned(1, property, 65645, bytes);
}

std::vector<std::uint8_t> OmfBuilder::build() const {
    std::vector<std::uint8_t> out = m_data;
    const auto tocOffset = static_cast<std::uint32_t>(out.size());
    for (const Entry& e : m_entries) {
        put32(out, e.object);
        put32(out, e.property);
        put32(out, e.type);
        put32(out, e.position);
        put32(out, e.length);
        put32(out, 0);
    }
    const auto tocSize = static_cast<std::uint32_t>(out.size() - tocOffset);
    out.insert(out.end(), m_magic, m_magic + 8);
    put16(out, 0);
    put16(out, m_byteOrder);
    put16(out, m_version);
    put16(out, 0);
    put32(out, tocOffset);
    put32(out, m_overrideToc ? m_tocSizeOverride : tocSize);
    return out;
}

void OmfBuilder::write(const std::string& path) const {
    WriteBytes(path, build());
}

std::vector<std::vector<std::uint8_t>> MediaFileFrames(const MediaFileDesc& desc) {
    std::vector<std::vector<std::uint8_t>> frames;
    for (int i = 0; i < desc.frames; ++i) {
        if (desc.jpegFrames && desc.testPattern)
            frames.push_back(
                MakeTestPatternFrame(desc.width, desc.height, i,
                                     desc.greyFrames ? FrameColours::Grey : FrameColours::Colour));
        else if (desc.jpegFrames)
            frames.push_back(MakeJpegFrame(desc.width, desc.height, i));
        else
            frames.emplace_back(100 + 10 * i, static_cast<std::uint8_t>(i + 1));
    }
    return frames;
}

OmfBuilder BuildMediaFile(const MediaFileDesc& desc) {
    // Objects: 10 file source mob, 11 its media descriptor, 12 a Windows
    // locator, 20 a tape source mob, 21 its descriptor, 30.. composition
    // mobs, 40 the media data, 50 the project attribute.
    const std::uint32_t fileMob[3] = {0x0C0A0B0D, 0x11223344, 100};
    const std::uint32_t tapeMob[3] = {0x0C0A0B0D, 0x11223344, 200};
    OmfBuilder b;
    std::vector<BuilderMob> sources{{{fileMob[0], fileMob[1], fileMob[2]}, 10}};
    if (!desc.tapeName.empty())
        sources.push_back({{tapeMob[0], tapeMob[1], tapeMob[2]}, 20});
    std::vector<BuilderMob> compositions;
    for (int i = 0; i < desc.compositions; ++i)
        compositions.push_back({{0x0C0A0B0D, 0x11223344, 300u + static_cast<std::uint32_t>(i)},
                                30u + static_cast<std::uint32_t>(i)});
    b.mobTable(66070, sources);
    b.mobTable(66025, compositions);
    b.mobTable(66050, {{{fileMob[0], fileMob[1], fileMob[2]}, 40}});
    for (const auto& [id, name] : std::initializer_list<std::pair<std::uint32_t, const char*>>{
             {66025, "OMFI:HEAD:CompositionMobs"},
             {66050, "OMFI:HEAD:MediaData"},
             {66070, "OMFI:HEAD:SourceMobs"},
             {66135, "OMFI:ATTB:Name"},
             {66145, "OMFI:ATTB:StringAttribute"},
             {66205, "OMFI:MOBJ:Name"},
             {66273, "OMFI:WINL:PathName"},
             {66305, "OMFI:MDES:Locator"},
             {66325, "OMFI:MDFL:Length"},
             {66350, "OMFI:MOBJ:MobID"},
             {66355, "OMFI:SMOB:MediaDescription"},
             {67790, "OMFI:DIDD:FrameLayout"},
             {67801, "OMFI:DIDD:Compression"},
             {67831, "OMFI:JPED:CompressionCode"},
             {67940, "OMFI:MDAT:MobID"},
             {67945, "OMFI:JPEG:ImageData"},
             {67950, "OMFI:JPEG:FrameIndex"},
             {65610, "omfi:UInt32"},
             {65655, "omfi:ObjRef"},
             {65660, "omfi:ObjRefArray"},
             {65665, "omfi:ClassID"},
             {65672, "omfi:DataValue"},
             {65680, "omfi:String"},
             {65695, "omfi:UID"},
             {65735, "omfi:Position32Array"}})
        b.definition(id, name);

    b.classId(10, "SMOB").mobId(10, 66350, fileMob).objectRef(10, 66355, 11);
    b.string(10, 66205, "file source");
    b.classId(11, desc.descriptorClass);
    if (!desc.compressionText.empty())
        b.string(11, 67801, desc.compressionText);
    if (desc.compressionCode != 0)
        b.immediate(11, 67831, 65610, desc.compressionCode);
    b.immediate(11, 66325, 65610, static_cast<std::uint32_t>(desc.frames));
    b.immediate(11, 67790, 65610, desc.layout);
    if (!desc.sourcePath.empty()) {
        b.objectRefArray(11, 66305, {12});
        b.classId(12, "WINL").string(12, 66273, desc.sourcePath);
    }
    if (!desc.tapeName.empty()) {
        b.classId(20, "SMOB").mobId(20, 66350, tapeMob).objectRef(20, 66355, 21);
        b.string(20, 66205, desc.tapeName);
        b.classId(21, "MDTP");
    }
    for (int i = 0; i < desc.compositions; ++i) {
        const std::uint32_t object = 30u + static_cast<std::uint32_t>(i);
        b.classId(object, "CMOB");
        if (!desc.clipName.empty())
            b.string(object, 66205, desc.clipName);
    }

    const auto frames = MediaFileFrames(desc);
    std::vector<std::uint8_t> stream;
    std::vector<std::uint32_t> offsets;
    for (const auto& f : frames) {
        offsets.push_back(static_cast<std::uint32_t>(stream.size()));
        stream.insert(stream.end(), f.begin(), f.end());
    }
    offsets.push_back(static_cast<std::uint32_t>(stream.size()));
    if (!desc.frameIndex) {
        // The one-frame trailer: a count and positions relative to the stream.
        const std::uint16_t count = desc.layout == 1 ? 2 : 1;
        put16(stream, count);
        for (std::uint16_t i = 0; i < count; ++i)
            put32(stream, offsets[std::min<std::size_t>(i, offsets.size() - 1)]);
    }
    const std::uint32_t streamAt = b.data(stream);
    b.classId(40, "JPED").mobId(40, 67940, fileMob);
    b.raw(40, 67945, 65672, streamAt, static_cast<std::uint32_t>(stream.size()));
    if (desc.frameIndex) {
        std::vector<std::uint8_t> index;
        put16(index, static_cast<std::uint16_t>(offsets.size()));
        for (std::uint32_t o : offsets)
            put32(index, streamAt + o);
        b.positioned(40, 67950, 65735, index);
    }
    if (!desc.project.empty()) {
        b.classId(50, "ATTB").string(50, 66135, "_PJ").string(50, 66145, desc.project);
    }
    return b;
}
