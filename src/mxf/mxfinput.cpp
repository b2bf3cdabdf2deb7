#include "mxf/mxfinput.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iterator>

extern "C" {
#include <libavformat/avio.h>
#include <libavutil/error.h>
#include <libavutil/mem.h>
}

namespace {

// The demuxer does its work between reads: small reads, and large ones
// served in pieces, let the deadline end an open soon after it passes.
constexpr int kBufferSize = 4096;
constexpr std::size_t kMaxPiece = 1 << 20;

// Every key of the files starts so; a local set (2-byte tags and lengths)
// has 02 53 next.
constexpr std::uint8_t kKeyPrefix[4] = {0x06, 0x0e, 0x2b, 0x34};
// An index table segment; byte 7, the registry's version, may vary.
constexpr std::uint8_t kIndexSegmentKey[16] = {0x06, 0x0e, 0x2b, 0x34, 0x02, 0x53, 0x01, 0x01,
                                               0x0d, 0x01, 0x02, 0x01, 0x01, 0x10, 0x01, 0x00};
constexpr std::uint16_t kTagIndexDuration = 0x3f0d;
constexpr std::uint16_t kTagIndexEntryArray = 0x3f0a;
// An index entry holds at least a temporal offset, a key-frame offset,
// flags and an 8-byte stream offset.
constexpr std::uint64_t kMinIndexEntrySize = 11;
// What the demuxer keeps for an index entry, and for an edit unit of a
// table whose segments have entries (its presentation times and its index).
constexpr std::uint64_t kEntryMemory = 10;
constexpr std::uint64_t kEditUnitMemory = 34;

// Structural metadata sets: 06 0e 2b 34 02 53 01 vv 0d 01 01 01 01 01 xx 00,
// xx telling the set's class.
constexpr std::uint8_t kStructuralKey[14] = {0x06, 0x0e, 0x2b, 0x34, 0x02, 0x53, 0x01,
                                             0x01, 0x0d, 0x01, 0x01, 0x01, 0x01, 0x01};
constexpr std::uint8_t kTrackClass = 0x3b;
// Generic picture, CDCI, RGBA and MPEG video descriptors.
constexpr std::uint8_t kPictureClasses[] = {0x27, 0x28, 0x29, 0x51};
constexpr std::uint16_t kTagEditRate = 0x4b01;
constexpr std::uint16_t kTagDisplayHeight = 0x3208;
constexpr std::uint16_t kTagDisplayWidth = 0x3209;
constexpr std::uint16_t kTagFrameLayout = 0x320c;

bool isIndexSegmentKey(const std::uint8_t* key) {
    for (int i = 0; i < 16; ++i) {
        if (i != 7 && key[i] != kIndexSegmentKey[i])
            return false;
    }
    return true;
}

// The class byte of a structural metadata set's key; 0 for other keys.
std::uint8_t structuralClass(const std::uint8_t* key) {
    for (int i = 0; i < 14; ++i) {
        if (i != 7 && key[i] != kStructuralKey[i])
            return 0;
    }
    return key[15] == 0 ? key[14] : 0;
}

bool isPictureClass(std::uint8_t c) {
    return std::find(std::begin(kPictureClasses), std::end(kPictureClasses), c) !=
           std::end(kPictureClasses);
}

} // namespace

bool IsVideoRate(std::int64_t num, std::int64_t den) {
    if (num <= 0 || den <= 0)
        return false;
    for (const std::int64_t frames : {24, 25, 30, 48, 50, 60, 96, 100, 120}) {
        if (num == frames * den)
            return true;
        // The NTSC rates: frames * 1000 / 1001.
        if (frames % 24 != 0 && frames % 30 != 0)
            continue;
        if (num <= INT64_MAX / 1001 && num * 1001 == frames * 1000 * den)
            return true;
    }
    return false;
}

bool MxfDeadline::Passed() {
    if (!expired && std::chrono::steady_clock::now() > end)
        expired = true;
    return expired;
}

MxfInput::MxfInput(MxfDeadline& deadline) : m_deadline(deadline) {}

MxfInput::~MxfInput() {
    if (m_context != nullptr) {
        // The context may have replaced the buffer it was given.
        av_freep(&m_context->buffer);
        avio_context_free(&m_context);
    }
}

int MxfInput::Open(const std::string& path) {
    platform::OpenError error;
    if (!m_file.open(path.c_str(), 0, error))
        return error.systemCode > 0 ? AVERROR(error.systemCode) : AVERROR(EIO);
    m_size = m_file.length();
    auto* buffer = static_cast<std::uint8_t*>(av_malloc(kBufferSize));
    if (buffer == nullptr)
        return AVERROR(ENOMEM);
    m_context = avio_alloc_context(buffer, kBufferSize, 0, this, ReadPacket, nullptr, SeekTo);
    if (m_context == nullptr) {
        av_free(buffer);
        return AVERROR(ENOMEM);
    }
    return 0;
}

int MxfInput::ReadPacket(void* opaque, std::uint8_t* buffer, int size) {
    return static_cast<MxfInput*>(opaque)->Read(buffer, size);
}

std::int64_t MxfInput::SeekTo(void* opaque, std::int64_t offset, int whence) {
    auto* input = static_cast<MxfInput*>(opaque);
    whence &= ~AVSEEK_FORCE;
    if (whence == AVSEEK_SIZE)
        return static_cast<std::int64_t>(input->m_size);
    std::int64_t base = 0;
    if (whence == SEEK_CUR)
        base = static_cast<std::int64_t>(input->m_position);
    else if (whence == SEEK_END)
        base = static_cast<std::int64_t>(input->m_size);
    else if (whence != SEEK_SET)
        return AVERROR(EINVAL);
    if ((offset > 0 && base > INT64_MAX - offset) || base + offset < 0)
        return AVERROR(EINVAL);
    input->m_position = static_cast<std::uint64_t>(base + offset);
    return base + offset;
}

int MxfInput::Read(std::uint8_t* buffer, int size) {
    if (!m_refusal.empty())
        return AVERROR_INVALIDDATA;
    if (m_deadline.Passed())
        return AVERROR_EXIT;
    if (size <= 0 || m_position >= m_size)
        return AVERROR_EOF;
    const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(
        {static_cast<std::uint64_t>(size), kMaxPiece, m_size - m_position}));
    const std::size_t got = m_file.readAt(m_position, buffer, wanted);
    if (got == 0)
        return AVERROR_EOF;
    if (m_checking && !Check(buffer, got, m_position))
        return AVERROR_INVALIDDATA;
    // A check cut short by the deadline delivers nothing it did not finish.
    if (m_deadline.expired)
        return AVERROR_EXIT;
    m_position += got;
    return static_cast<int>(got);
}

bool MxfInput::Check(const std::uint8_t* bytes, std::size_t count, std::uint64_t at) {
    const std::uint64_t end = at + count;
    // The parts of [at, end) not looked at yet.
    auto next = m_checked.upper_bound(at);
    if (next != m_checked.begin() && std::prev(next)->second > at)
        --next;
    for (std::uint64_t pos = at; pos < end;) {
        if (next != m_checked.end() && next->first <= pos) {
            pos = std::max(pos, next->second);
            ++next;
            continue;
        }
        const std::uint64_t gapEnd = next != m_checked.end() ? std::min(next->first, end) : end;
        if (!CheckRange(bytes, count, at, pos, gapEnd))
            return false;
        pos = gapEnd;
    }
    // Joined with the ranges it meets.
    std::uint64_t start = at;
    std::uint64_t stop = end;
    auto meet = m_checked.lower_bound(start);
    if (meet != m_checked.begin() && std::prev(meet)->second >= start)
        --meet;
    while (meet != m_checked.end() && meet->first <= stop) {
        start = std::min(start, meet->first);
        stop = std::max(stop, meet->second);
        meet = m_checked.erase(meet);
    }
    m_checked.emplace(start, stop);
    return true;
}

bool MxfInput::CheckRange(const std::uint8_t* bytes, std::size_t count, std::uint64_t at,
                          std::uint64_t from, std::uint64_t to) {
    std::size_t i = static_cast<std::size_t>(from - at);
    const auto last = static_cast<std::size_t>(to - at);
    while (i < last) {
        const void* hit = std::memchr(bytes + i, kKeyPrefix[0], last - i);
        if (hit == nullptr)
            break;
        i = static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - bytes);
        const std::uint64_t keyAt = at + i;
        ++i;
        // A key that runs past these bytes is read from the file.
        std::uint8_t key[16];
        if (count - (i - 1) >= 16) {
            std::memcpy(key, bytes + i - 1, 16);
        } else if (m_size < 16 || keyAt > m_size - 16 || m_file.readAt(keyAt, key, 16) != 16) {
            continue;
        }
        if (std::memcmp(key, kKeyPrefix, 4) != 0 || key[4] != 0x02 || key[5] != 0x53)
            continue;
        if (++m_metadataSets > kMaxMetadataSets)
            return Refuse("more metadata sets than any real file holds");
        if (isIndexSegmentKey(key) && !CheckIndexSegment(keyAt))
            return false;
        const std::uint8_t setClass = structuralClass(key);
        if (setClass == kTrackClass && m_header.videoRateDenominator == 0)
            ReadTrack(keyAt);
        else if (isPictureClass(setClass) && !m_havePicture)
            ReadPictureDescriptor(keyAt);
        if (m_deadline.expired)
            return true;
    }
    return true;
}

bool MxfInput::ReadNumber(std::uint64_t pos, int size, std::uint64_t& value) {
    const auto n = static_cast<std::uint64_t>(size);
    if (pos > m_size || m_size - pos < n)
        return false;
    // Segments are small: one window usually holds all their items.
    if (pos < m_windowAt || pos - m_windowAt + n > m_windowLength) {
        m_windowAt = pos;
        m_windowLength = m_file.readAt(pos, m_window, sizeof m_window);
        if (m_windowLength < n)
            return false;
    }
    const std::uint8_t* bytes = m_window + (pos - m_windowAt);
    value = 0;
    for (std::uint64_t i = 0; i < n; ++i)
        value = value << 8 | bytes[i];
    return true;
}

bool MxfInput::SetValue(std::uint64_t keyAt, std::uint64_t& valueAt, std::uint64_t& end) {
    // The length: one byte below 0x80, else 0x80 plus the count of the
    // big-endian bytes that follow (at most 8, or the demuxer reads none).
    std::uint64_t first = 0;
    if (!ReadNumber(keyAt + 16, 1, first))
        return false;
    std::uint64_t length = first;
    valueAt = keyAt + 17;
    if (first >= 0x80) {
        const int bytes = static_cast<int>(first & 0x7f);
        if (bytes == 0 || bytes > 8 || !ReadNumber(valueAt, bytes, length))
            return false;
        valueAt += static_cast<std::uint64_t>(bytes);
    }
    if (valueAt >= m_size)
        return false;
    end = valueAt + std::min(length, m_size - valueAt);
    return true;
}

template <typename Item> bool MxfInput::EachItem(std::uint64_t keyAt, Item&& item) {
    std::uint64_t valueAt = 0;
    std::uint64_t end = 0;
    if (!SetValue(keyAt, valueAt, end))
        return false;
    int items = 0;
    for (std::uint64_t pos = valueAt; pos + 4 <= end && ++items <= kMaxSegmentItems;) {
        std::uint64_t tag = 0;
        std::uint64_t size = 0;
        if (m_deadline.Passed() || !ReadNumber(pos, 2, tag) || !ReadNumber(pos + 2, 2, size))
            break;
        pos += 4;
        if (size > end - pos || !item(tag, pos, size))
            break;
        pos += size;
    }
    return true;
}

void MxfInput::ReadTrack(std::uint64_t keyAt) {
    EachItem(keyAt, [this](std::uint64_t tag, std::uint64_t pos, std::uint64_t size) {
        std::uint64_t num = 0;
        std::uint64_t den = 0;
        if (tag == kTagEditRate && size == 8 && ReadNumber(pos, 4, num) &&
            ReadNumber(pos + 4, 4, den) && num <= INT32_MAX && den <= INT32_MAX &&
            IsVideoRate(static_cast<std::int64_t>(num), static_cast<std::int64_t>(den))) {
            m_header.videoRateNumerator = static_cast<std::int32_t>(num);
            m_header.videoRateDenominator = static_cast<std::int32_t>(den);
            return false;
        }
        return true;
    });
}

void MxfInput::ReadPictureDescriptor(std::uint64_t keyAt) {
    m_havePicture |=
        EachItem(keyAt, [this](std::uint64_t tag, std::uint64_t pos, std::uint64_t size) {
            std::uint64_t value = 0;
            if (tag == kTagDisplayWidth && size == 4 && ReadNumber(pos, 4, value))
                m_header.displayWidth = static_cast<std::uint32_t>(value);
            else if (tag == kTagDisplayHeight && size == 4 && ReadNumber(pos, 4, value))
                m_header.displayHeight = static_cast<std::uint32_t>(value);
            else if (tag == kTagFrameLayout && size == 1 && ReadNumber(pos, 1, value))
                m_header.frameLayout = static_cast<int>(value);
            return true;
        });
}

bool MxfInput::CheckIndexSegment(std::uint64_t keyAt) {
    std::uint64_t valueAt = 0;
    std::uint64_t end = 0;
    if (!SetValue(keyAt, valueAt, end))
        return true;

    // The items as the demuxer walks them: a tag and a size of 2 bytes each;
    // the duration and the entry array are read whatever the size says, and
    // the walk goes on after what was read when that is further.
    std::uint64_t duration = 0;
    std::uint64_t entries = 0;
    int items = 0;
    for (std::uint64_t pos = valueAt; pos + 4 < end;) {
        if (++items > kMaxSegmentItems)
            return Refuse("an index table segment of more items than any writer makes");
        if (m_deadline.Passed())
            return true;
        std::uint64_t tag = 0;
        std::uint64_t size = 0;
        if (!ReadNumber(pos, 2, tag) || !ReadNumber(pos + 2, 2, size))
            break;
        pos += 4;
        const std::uint64_t next = pos + size;
        std::uint64_t after = pos;
        if (size == 0)
            continue;
        if (tag == kTagIndexDuration) {
            std::uint64_t value = 0;
            if (ReadNumber(pos, 8, value))
                duration = std::max(duration, value);
            after = pos + 8;
        } else if (tag == kTagIndexEntryArray) {
            std::uint64_t count = 0;
            std::uint64_t entrySize = 0;
            if (!ReadNumber(pos, 4, count) || !ReadNumber(pos + 4, 4, entrySize))
                break;
            after = pos + 8;
            // The demuxer takes no entries shorter than that.
            if (count != 0 && entrySize < kMinIndexEntrySize)
                break;
            const std::uint64_t held = after < end ? end - after : 0;
            if (count != 0 && count > held / entrySize)
                return Refuse("an index table segment declares more entries than it holds");
            entries += count;
            after += count * entrySize;
        }
        pos = std::max(next, after);
    }
    if (entries == 0)
        return true;
    // An edit unit of a table with entries has an entry of its own in the
    // file; the demuxer allocates for each edit unit such a table declares.
    if (duration > m_size / kMinIndexEntrySize ||
        m_indexedUnits + duration > m_size / kMinIndexEntrySize)
        return Refuse("index table segments declare more edit units than the file holds");
    m_indexedUnits += duration;
    m_indexEntries += entries;
    if (m_indexedUnits * kEditUnitMemory + m_indexEntries * kEntryMemory > kMaxIndexMemory)
        return Refuse("index tables larger than the reader allows");
    return true;
}

bool MxfInput::Refuse(const char* reason) {
    m_refusal = reason;
    return false;
}
