#pragma once
// The MXF demuxer's input: the file, handed to libavformat through an I/O
// context of the reader's own, so that every byte the demuxer is given
// passes here first. Reads end at a deadline. While the demuxer opens a
// file, the bytes are looked at before it gets them: libavformat allocates
// by counts it reads from index table segments and keeps every metadata set
// it reads, so a file whose index segments declare more than the file could
// hold, or that holds more metadata sets than any real file, is refused
// before the demuxer sees those bytes. On the way, what the demuxer does not
// pass on is picked up: the picture's displayed size and the tracks' edit
// rates (within the same limits and the same deadline).

#include "platform/sysfile.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

struct AVIOContext;

// What the header metadata says that the demuxer does not pass on, picked up
// from the bytes while the file opens.
struct MxfHeaderFacts {
    // The first picture descriptor's DisplayWidth and DisplayHeight, its
    // height as given (a field's for field layouts), and its FrameLayout;
    // 0, 0 and -1 when it has none.
    std::uint32_t displayWidth = 0;
    std::uint32_t displayHeight = 0;
    int frameLayout = -1;
    // The first edit rate of a track that is a video rate (the timecode
    // track's, in a sound file whose track counts samples); 0/0 when none.
    std::int32_t videoRateNumerator = 0;
    std::int32_t videoRateDenominator = 0;
};

// Whether num/den is a rate pictures are made at: 23.976, 24, 25, 29.97,
// 30, 47.95, 48, 50, 59.94, 60 and their doubles (any form of the fraction).
bool IsVideoRate(std::int64_t num, std::int64_t den);

// When reading must end.
struct MxfDeadline {
    std::chrono::steady_clock::time_point end;
    bool expired = false;

    // Whether the deadline has passed; once it has, it stays passed.
    bool Passed();
};

class MxfInput {
public:
    // Index entries and edit units the demuxer is given, at the memory it
    // keeps for each (10 bytes an entry; 34 bytes an edit unit of a table
    // with entries), may take this much together.
    static constexpr std::uint64_t kMaxIndexMemory = std::uint64_t{128} << 20;
    // Metadata sets (index segments among them) in one open. The demuxer
    // keeps a few hundred bytes for each; real files hold thousands at most.
    static constexpr std::uint64_t kMaxMetadataSets = 100000;
    // Items of one index table segment; writers use a dozen or two.
    static constexpr int kMaxSegmentItems = 256;

    explicit MxfInput(MxfDeadline& deadline);
    ~MxfInput();
    MxfInput(const MxfInput&) = delete;
    MxfInput& operator=(const MxfInput&) = delete;

    // Opens path for reading; 0, or an AVERROR code when it cannot be read.
    int Open(const std::string& path);
    // The I/O context for the demuxer; null before Open.
    AVIOContext* Context() const { return m_context; }
    // Whether bytes are looked at before the demuxer gets them.
    void SetChecking(bool checking) { m_checking = checking; }
    // Why the file was refused; empty while it is not.
    const std::string& Refusal() const { return m_refusal; }
    // What the header metadata looked at so far said.
    const MxfHeaderFacts& HeaderFacts() const { return m_header; }

private:
    static int ReadPacket(void* opaque, std::uint8_t* buffer, int size);
    static std::int64_t SeekTo(void* opaque, std::int64_t offset, int whence);
    int Read(std::uint8_t* buffer, int size);
    // Looks at the keys that start in bytes (which stand at `at`) and were
    // not looked at before; false once the file is refused.
    bool Check(const std::uint8_t* bytes, std::size_t count, std::uint64_t at);
    bool CheckRange(const std::uint8_t* bytes, std::size_t count, std::uint64_t at,
                    std::uint64_t from, std::uint64_t to);
    // Adds up what the index table segment whose key is at keyAt declares.
    bool CheckIndexSegment(std::uint64_t keyAt);
    // Where the value of the set whose key is at keyAt starts and ends;
    // false when its length cannot be read.
    bool SetValue(std::uint64_t keyAt, std::uint64_t& valueAt, std::uint64_t& end);
    // Calls item(tag, valueAt, size) for each item of the local set whose
    // key is at keyAt, within the item limit and the deadline, until it
    // says false; false when the set's length cannot be read.
    template <typename Item> bool EachItem(std::uint64_t keyAt, Item&& item);
    // Picks the display size and layout from a picture descriptor, and the
    // edit rate from a track, within the item limit and the deadline.
    void ReadPictureDescriptor(std::uint64_t keyAt);
    void ReadTrack(std::uint64_t keyAt);
    // Big-endian number of `size` bytes at pos; false past the end.
    bool ReadNumber(std::uint64_t pos, int size, std::uint64_t& value);
    bool Refuse(const char* reason);

    MxfDeadline& m_deadline;
    platform::SysFile m_file;
    AVIOContext* m_context = nullptr;
    std::uint64_t m_size = 0;
    std::uint64_t m_position = 0;
    bool m_checking = false;
    std::string m_refusal;
    // The ranges of the file already looked at (start to end), so that bytes
    // read again after a seek are counted once.
    std::map<std::uint64_t, std::uint64_t> m_checked;
    // A window of the file for reading the items of index segments.
    std::uint8_t m_window[4096];
    std::uint64_t m_windowAt = 0;
    std::uint64_t m_windowLength = 0;
    std::uint64_t m_metadataSets = 0;
    std::uint64_t m_indexEntries = 0;
    std::uint64_t m_indexedUnits = 0;
    MxfHeaderFacts m_header;
    bool m_havePicture = false;
};
