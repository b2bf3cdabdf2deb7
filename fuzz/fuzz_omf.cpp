// Opens any bytes as an OMF container and asks every question of it.
#include "fuzzinput.h"
#include "omf/omfreader.h"
#include "omf/omftree.h"

#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& path = WriteFuzzInput(data, size);
    OmfReader reader;
    if (!reader.Open(path.c_str()))
        return 0;
    char text[260];
    char small[8];
    reader.CompositionName(text, sizeof text);
    reader.CompositionName(small, sizeof small);
    reader.ProjectName(text, 69);
    reader.SourceName(text, sizeof text);
    reader.SourceName(small, sizeof small);
    reader.ReadMediaDescriptor();
    if (strnlen(reader.CompressionText(), 15) >= 15)
        __builtin_trap();
    for (auto& [id, object] : reader.Objects()) {
        for (auto& [propertyId, property] : object.properties) {
            if (reader.ReadValue(property).size() > reader.FileSize())
                __builtin_trap();
            reader.ReadString(property, text, sizeof text);
            reader.ResolveMobId(property);
        }
    }
    if (reader.LoadFrameTable()) {
        const std::uint32_t frames = reader.FrameCount();
        for (std::uint32_t i = 0; i < frames + 2 && i < 16; ++i) {
            const std::uint32_t n = reader.FrameSize(i);
            if (n > reader.FileSize())
                __builtin_trap();
            if (n == 0 || n > (1u << 20))
                continue;
            std::vector<std::uint8_t> frame(n);
            reader.ReadFrame(i, frame.data(), n);
        }
    }
    // The information window's tree: bounded whatever the references do.
    const OmfTree tree = OmfTreeBuilder(reader, 20000).Build();
    if (tree.itemCount > 20000)
        __builtin_trap();
    reader.Close();
    return 0;
}
