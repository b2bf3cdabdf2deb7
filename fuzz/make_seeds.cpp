// Writes seed inputs for the fuzzers into two folders: OMF containers of
// every kind the builders make, and media databases and bins.
#include "builders/databasebuilder.h"
#include "builders/omfbuilder.h"

#include <cstdio>
#include <filesystem>
#include <string>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: fuzz_seeds OMF_FOLDER DATABASE_FOLDER\n");
        return 2;
    }
    const std::string omf = argv[1];
    const std::string db = argv[2];
    std::filesystem::create_directories(omf);
    std::filesystem::create_directories(db);
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

    DatabaseBuilder database;
    database.filler(40).record("clip0001.omf", "Project").filler(20, 2);
    database.record("clip0002.mxf", "", ByteOrder::HighFirst).noise(60, 3);
    database.record("A.WAV", std::string(66, 'p')).filler(10, 4);
    database.write(db + "/msmFMID.pmr");
    DatabaseBuilder bin;
    bin.filler(40).binPath("/Volumes/Media/OMFI MediaFiles/clip0001.omf").noise(50, 5);
    bin.binPath("/x/a.aif", ByteOrder::HighFirst).filler(30, 6);
    bin.write(db + "/bin.avb");
    return 0;
}
