#include "builders/samplemedia.h"

#include "builders/databasebuilder.h"
#include "builders/mediafolder.h"
#include "builders/mxfbuilder.h"
#include "builders/omfbuilder.h"

#include <cstdio>
#include <filesystem>

namespace {

std::string clipFile(const char* prefix, int i) {
    char name[40];
    std::snprintf(name, sizeof name, "%s%05d_V1.omf", prefix, i);
    return name;
}

} // namespace

std::string WriteSampleMedia(const std::string& root) {
    const std::string omfi = root + "/OMFI MediaFiles/1";
    const std::string mxf = root + "/AVID MediaFiles/MXF/1";
    MakeFolder(omfi);
    MakeFolder(mxf);
    std::vector<DbRecord> records;
    DatabaseBuilder bin;
    bin.filler(64);

    // Documentary: JPEG video with frames, sources on capture files. The
    // first two clips are full-size test cards, one in colour and one in
    // grey, whose frames show their own numbers.
    for (int i = 0; i < 6; ++i) {
        MediaFileDesc desc;
        desc.project = "Documentary";
        desc.clipName = "Interview " + std::to_string(i + 1);
        desc.sourcePath = "C:\\Capture\\interview" + std::to_string(i + 1) + ".avi";
        desc.frames = 4;
        desc.width = 160;
        desc.height = 120;
        if (i < 2) {
            desc.clipName = i == 0 ? "Test card colour" : "Test card grey";
            desc.frames = 30;
            desc.width = 720;
            desc.height = 486;
            desc.testPattern = true;
            desc.greyFrames = i == 1;
        }
        const std::string name = clipFile("DOC", i);
        BuildMediaFile(desc).write(omfi + "/" + name);
        records.push_back({name, desc.project});
        if (i < 3)
            bin.binPath("/Volumes/Media/OMFI MediaFiles/1/" + name)
                .filler(40, static_cast<std::uint32_t>(i + 2));
    }
    // Commercial: audio files.
    for (int i = 0; i < 4; ++i) {
        MediaFileDesc desc;
        desc.project = "Commercial";
        desc.clipName = "Voice over " + std::to_string(i + 1);
        desc.descriptorClass = "AIFD";
        desc.jpegFrames = false;
        desc.frames = 1;
        const std::string name = clipFile("VO", i);
        BuildMediaFile(desc).write(omfi + "/" + name);
        records.push_back({name, desc.project});
    }
    // Music Video: tape sources.
    for (int i = 0; i < 3; ++i) {
        MediaFileDesc desc;
        desc.project = "Music Video";
        desc.clipName = "Take " + std::to_string(i + 1);
        desc.descriptorClass = "MDTP";
        desc.tapeName = "TAPE 00" + std::to_string(i + 1);
        desc.sourcePath.clear();
        desc.compressionCode = 77;
        desc.frames = 2;
        const std::string name = clipFile("MV", i);
        BuildMediaFile(desc).write(omfi + "/" + name);
        records.push_back({name, desc.project});
    }
    records.push_back({"DOC09998_V1.omf", "Documentary"}); // missing on disk
    records.push_back({"MV09999_V1.omf", "Music Video"});  // missing on disk
    MakeFile(omfi + "/ORPHAN0001.omf", 4096);              // unreferenced
    MakeFile(omfi + "/Render0001.wav", 2048);              // unreferenced
    MakeFile(omfi + "/msmMMOB.mdb", 512);
    WriteDatabase(omfi, records);

    // Commercial: OP-Atom MXF pictures (DNxHR) from tapes, the project in
    // each file; one file the database does not list. The first two spots
    // have their sound beside them (one channel each, 16 and 24 bits), as
    // long as their pictures.
    std::vector<DbRecord> mxfRecords;
    for (int i = 0; i < 4; ++i) {
        char name[40];
        std::snprintf(name, sizeof name, "COM%05d_V1.mxf", i);
        MxfFileDesc desc;
        desc.clipName = "Spot " + std::to_string(i + 1);
        desc.projectName = "Commercial";
        desc.tapeName = "HDCAM 0" + std::to_string(i + 1);
        desc.width = 640;
        desc.height = 360;
        desc.frames = 24;
        if (!WriteMxfFile(mxf + "/" + name, desc))
            return {};
        if (i < 3)
            mxfRecords.push_back({name, "Commercial"});
        if (i < 2) {
            std::snprintf(name, sizeof name, "COM%05d_A1.mxf", i);
            MxfSoundDesc sound;
            sound.clipName = desc.clipName;
            sound.projectName = desc.projectName;
            sound.tapeName = desc.tapeName;
            sound.bitsPerSample = i == 0 ? 16 : 24;
            sound.samples = std::int64_t{desc.frames} * sound.sampleRate *
                            desc.frameRateDenominator / desc.frameRateNumerator;
            if (!WriteMxfSoundFile(mxf + "/" + name, sound))
                return {};
            mxfRecords.push_back({name, "Commercial"});
        }
    }
    // A take of the music video reused in a spot: the same file, copied into
    // the MXF folder and listed there under the commercial.
    std::error_code copied;
    std::filesystem::copy_file(omfi + "/" + clipFile("MV", 2), mxf + "/" + clipFile("MV", 2),
                               copied);
    if (copied)
        return {};
    mxfRecords.push_back({clipFile("MV", 2), "Commercial"});
    WriteDatabase(mxf, mxfRecords, 7);
    bin.binPath("/Volumes/Media/AVID MediaFiles/MXF/1/COM00000_V1.mxf").filler(30, 9);
    const std::string binPath = root + "/Sample Bin.avb";
    bin.write(binPath);
    return binPath;
}
