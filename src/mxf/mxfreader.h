#pragma once
// Reader of MXF media files. libavformat's MXF demuxer reads the header
// metadata (clip, project, tape, picture) and the essence; libavcodec decodes
// the pictures and libswscale turns them into 24-bit rows for drawing. Every
// read is bounded in time: a damaged or endless file ends with a log line,
// never a hang.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

struct MxfFacts {
    // The material package's name: the clip as the bin shows it.
    std::string clipName;
    // The project the file was made in; empty when it names none.
    std::string projectName;
    // The tape (reel) the essence came from, else the file package's name.
    std::string sourceName;
    // The codec as libavcodec names it ("VC3/DNxHD") and its short name
    // ("dnxhd"); empty when the file's essence is of no known codec.
    std::string codecName;
    std::string codecShortName;
    // Frames of the picture: the stream's count, else its duration times its
    // frame rate; 0 when unknown or when the file holds no picture.
    std::int64_t frameCount = 0;
    // The picture's stored size (a coded height may be padded to 16 lines).
    int width = 0;
    int height = 0;
    // The picture's displayed size: its descriptor's DisplayWidth and
    // DisplayHeight (a field's height doubled for field layouts), else the
    // stored size. 0 when unknown.
    int displayWidth = 0;
    int displayHeight = 0;
    // Frames per second as a fraction; 0/0 when unknown.
    int frameRateNumerator = 0;
    int frameRateDenominator = 0;
    // Sound (a file without a picture): channels, samples per second and
    // the samples the file declares; 0 when unknown.
    int channels = 0;
    int sampleRate = 0;
    std::int64_t sampleCount = 0;
    // The rate a sound file's duration is told in timecode at: the first of
    // its tracks' edit rates that is a video rate (the project's), else 25.
    int timecodeRateNumerator = 0;
    int timecodeRateDenominator = 0;
    // Whether the operational pattern is OP-Atom (one essence a file).
    bool opAtom = false;
    // Whether the file holds a picture stream (an audio file holds none),
    // and whether its first stream is sound.
    bool hasPicture = false;
    bool hasSound = false;
};

class MxfReader {
public:
    // How long opening a file and reaching one of its frames may take.
    static constexpr std::chrono::milliseconds kOpenTime{2000};
    static constexpr std::chrono::milliseconds kFrameTime{1000};
    // Frames of more pixels (8K UHD is 33 million) are not decoded.
    static constexpr std::int64_t kMaxFramePixels = 8192 * 4320;

    MxfReader();
    ~MxfReader();
    MxfReader(const MxfReader&) = delete;
    MxfReader& operator=(const MxfReader&) = delete;

    // Opens the file as MXF and reads its facts. False, with a log line,
    // when it is not a regular file, not MXF, or cannot be read in time.
    bool Open(const std::string& path);
    void Close();
    bool IsOpen() const;
    const MxfFacts& Facts() const;
    // Other limits than kOpenTime and kFrameTime, from the next read on.
    void SetTimeLimits(std::chrono::milliseconds open, std::chrono::milliseconds frame);

    // Decodes frame n of the picture stream. Reading the frame after the one
    // last decoded continues where the last read ended, so stepping through
    // a file shows every frame once, in order; any other frame is sought.
    // False, with a log line for a damaged file, when it cannot be had.
    bool DecodeFrame(std::int64_t n);
    // The size of the frame last decoded; 0 before one is.
    int FrameWidth() const;
    int FrameHeight() const;
    // The number of the frame last decoded; -1 before one is.
    std::int64_t FrameNumber() const;
    // Writes the frame last decoded as rows of blue-green-red pixels: the
    // top row at top, each next row stride bytes further (stride may be
    // negative, for bottom-up pictures). The rows must hold FrameWidth()
    // pixels, FrameHeight() of them; nothing is written beside them.
    bool CopyFrameBgr(std::uint8_t* top, std::ptrdiff_t stride);

private:
    struct State;
    // Opens the file with a demuxer of its own, bounded by the state's
    // deadline; an AVERROR code when it does not open.
    static int OpenDemuxer(const std::string& path, State& state);
    static std::string FailureText(int result, const State& state);
    bool OpenDecoder();
    // Positions a new demuxer at frame n: one whose seek failed or was cut
    // short may number the packets after it wrongly, so none is reused.
    bool SeekTo(std::int64_t n);
    // Reads packets and decodes until a frame numbered n or later comes out.
    bool DecodeUntil(std::int64_t n);
    std::int64_t FrameNumberOf(std::int64_t timestamp) const;

    std::unique_ptr<State> m;
    MxfFacts m_facts;
    std::string m_path;
    std::chrono::milliseconds m_openTime = kOpenTime;
    std::chrono::milliseconds m_frameTime = kFrameTime;
};
