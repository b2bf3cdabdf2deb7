#pragma once
// Writes MXF media files the way the editing application's are made: one
// DNxHD/DNxHR picture essence a file (OP-Atom, or OP1a for the odd file),
// through libavformat's own muxers, with the clip's name, the tape's name and
// the project's name in the header metadata. The muxer writes no project
// name, so it is added afterwards: a dynamic tag in the primer pack and an
// item in the Preface, in room taken from the fill after the header metadata.
//
// Every frame is grey with a darker top-left quarter whose shade tells the
// frame's number, so a test can tell which frame it sees and which way up.

#include <cstdint>
#include <string>
#include <vector>

struct MxfFileDesc {
    std::string clipName = "Clip";
    // Empty: the Preface names no project.
    std::string projectName;
    // Empty: no tape package.
    std::string tapeName;
    // 1920x1080 uses DNxHD at bitRateMbps, other sizes DNxHR LB (even
    // widths of 256 and more; the stored size is padded to 16).
    int width = 320;
    int height = 240;
    int frames = 3;
    // Frames per second as a fraction: 30000/1001 is 29.97.
    int frameRateNumerator = 25;
    int frameRateDenominator = 1;
    int bitRateMbps = 120;
    bool opAtom = true;
    // Grain over every frame (a pseudo-random shade of up to 24 levels per
    // pixel, new each frame), so the codec has detail to code as in real
    // footage; the marks stay recognisable.
    bool grain = false;
};

// Writes the file; false (and nothing left under path) when it cannot.
bool WriteMxfFile(const std::string& path, const MxfFileDesc& desc);

// A sound file as the editing application writes beside a picture ("_A1"):
// one channel of PCM in OP-Atom, through libavformat's OP-Atom muxer. Its
// track counts samples; its timecode runs at timecodeRate, the project's
// video rate. The samples are a quiet ramp.
struct MxfSoundDesc {
    std::string clipName = "Clip";
    std::string projectName;
    std::string tapeName;
    int sampleRate = 48000;
    // 16 or 24 (PCM s16le or s24le).
    int bitsPerSample = 16;
    std::int64_t samples = 48000;
    int timecodeRateNumerator = 25;
    int timecodeRateDenominator = 1;
};

bool WriteMxfSoundFile(const std::string& path, const MxfSoundDesc& desc);

// An index table segment for damaged and hostile files: index stream `sid`
// over the essence of body stream 1, edit rate 25/1 from edit unit 0, the
// duration, and an entry array that states `stated` entries and holds `held`
// entries of 11 bytes.
std::vector<std::uint8_t> MxfIndexSegment(std::uint32_t sid, std::uint64_t duration,
                                          std::uint32_t stated, std::uint32_t held);
// A fill item of `length` bytes, which readers skip.
std::vector<std::uint8_t> MxfFill(std::uint32_t length);
// Puts bytes into the file right after its last index table segment (the
// footer's, which the demuxer reads whole), so that no partition moves;
// false when the file has no index table segment.
bool AddAfterLastIndexSegment(const std::string& path, const std::vector<std::uint8_t>& bytes);

// The grey (0..255, as drawn) of frame n's top-left quarter and of the rest.
int MxfMarkGrey(int n);
int MxfBackgroundGrey();
