// Writes seed inputs for the fuzzers into four folders: OMF containers of
// every kind the builders make, media databases and bins, JPEG frames and
// MXF files.
#include "builders/databasebuilder.h"
#include "builders/jpegframes.h"
#include "builders/mxfbuilder.h"
#include "builders/omfbuilder.h"

#include <cstdio>
#include <filesystem>
#include <string>

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr,
                     "usage: fuzz_seeds OMF_FOLDER DATABASE_FOLDER FRAME_FOLDER MXF_FOLDER\n");
        return 2;
    }
    const std::string mxf = argv[4];
    std::filesystem::create_directories(mxf);
    const std::string omf = argv[1];
    const std::string db = argv[2];
    const std::string frames = argv[3];
    std::filesystem::create_directories(omf);
    std::filesystem::create_directories(db);
    std::filesystem::create_directories(frames);
    int n = 0;
    auto omfSeed = [&](const MediaFileDesc& desc) {
        BuildMediaFile(desc).write(omf + "/seed" + std::to_string(n++) + ".omf");
    };
    MediaFileDesc desc;
    desc.width = 16;
    desc.height = 16;
    omfSeed(desc);
    MediaFileDesc audio = desc;
    audio.descriptorClass = "AIFD";
    audio.jpegFrames = false;
    omfSeed(audio);
    MediaFileDesc tape = desc;
    tape.descriptorClass = "MDTP";
    tape.tapeName = "TAPE 1";
    omfSeed(tape);
    MediaFileDesc trailer = desc;
    trailer.frames = 1;
    trailer.frameIndex = false;
    trailer.layout = 1;
    omfSeed(trailer);
    MediaFileDesc complex = desc;
    complex.compositions = 2;
    complex.project.clear();
    omfSeed(complex);
    // A TOC naming one table value over and over, each entry as long as the
    // file, the value stating more entries than it holds; an object whose
    // reference list is those same bytes.
    OmfBuilder repeated;
    std::vector<std::uint8_t> table(2 + 20 * 64, 0x11);
    table[0] = 0xFF;
    table[1] = 0xFF;
    const std::uint32_t tableAt = repeated.data(table);
    for (std::uint32_t i = 0; i < 96; ++i)
        repeated.raw(1, i % 2 == 0 ? 66070 : 66025, 65645, tableAt, 0xFFFFFFFFu);
    repeated.string(70001, 1, "OMFI:TEST:Refs");
    repeated.classId(5, "NODE").raw(5, 70001, 65660, tableAt, 0xFFFFFFFFu);
    repeated.write(omf + "/seed" + std::to_string(n++) + ".omf");

    DatabaseBuilder database;
    database.filler(40).record("clip0001.omf", "Project").filler(20, 2);
    database.record("clip0002.mxf", "", ByteOrder::HighFirst).noise(60, 3);
    database.record("A.WAV", std::string(66, 'p')).filler(10, 4);
    database.write(db + "/msmFMID.pmr");
    DatabaseBuilder bin;
    bin.filler(40).binPath("/Volumes/Media/OMFI MediaFiles/clip0001.omf").noise(50, 5);
    bin.binPath("/x/a.aif", ByteOrder::HighFirst).filler(30, 6);
    bin.write(db + "/bin.avb");

    int f = 0;
    auto frameSeed = [&](const std::vector<std::uint8_t>& bytes) {
        WriteBytes(frames + "/frame" + std::to_string(f++) + ".jpg", bytes);
    };
    frameSeed(MakeJpegFrame(17, 9, 1));
    frameSeed(MakeTestPatternFrame(40, 30, 7, FrameColours::Colour));
    frameSeed(MakeTestPatternFrame(40, 30, 3, FrameColours::Grey));
    frameSeed(MakeTestPatternFrame(24, 16, 5, FrameColours::Cmyk));
    frameSeed(MakeJpegFrame(64, 48, 2, 10));

    MxfFileDesc clip;
    clip.projectName = "Project";
    clip.tapeName = "TAPE";
    clip.width = 256;
    clip.height = 144;
    clip.frames = 2;
    bool written = WriteMxfFile(mxf + "/opatom.mxf", clip);
    clip.opAtom = false;
    clip.projectName.clear();
    clip.frames = 1;
    written = WriteMxfFile(mxf + "/op1a.mxf", clip) && written;
    // A sound file, its duration told at 29.97.
    MxfSoundDesc sound;
    sound.projectName = "Project";
    sound.samples = 8008;
    sound.timecodeRateNumerator = 30000;
    sound.timecodeRateDenominator = 1001;
    written = WriteMxfSoundFile(mxf + "/sound_A1.mxf", sound) && written;
    // Index table segments declaring far more than the file holds: edit
    // units by the million, and entries the segment does not hold.
    MxfFileDesc small;
    small.width = 256;
    small.height = 144;
    small.frames = 1;
    const std::string units = mxf + "/index_units.mxf";
    written = WriteMxfFile(units, small) &&
              AddAfterLastIndexSegment(units, MxfIndexSegment(3, 80000000, 1, 1)) && written;
    const std::string entries = mxf + "/index_entries.mxf";
    written = WriteMxfFile(entries, small) &&
              AddAfterLastIndexSegment(entries, MxfIndexSegment(3, 1, 100000, 1)) && written;
    return written ? 0 : 1;
}
