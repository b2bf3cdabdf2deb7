#include "mediadb/recordscanner.h"

#include "mediadb/mediaendings.h"

#include "feedback/progress.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>

namespace {

constexpr std::uint32_t kMaxNameLength = 259;
// The most bytes a candidate can span: two lengths, a name and a project.
constexpr std::uint32_t kMaxRecordBytes = 2 + 127 + 2 + kDatabaseProjectNameLimit;

// Characters a media file or project name may hold.
constexpr bool isNameChar(std::uint8_t c) {
    return c >= 0x20 && c <= 0x7F;
}

bool allNameChars(const char* text, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) {
        if (!isNameChar(static_cast<std::uint8_t>(text[i])))
            return false;
    }
    return true;
}

// 1 for the bytes isNameChar accepts, so that tests can be combined with &.
constexpr std::array<std::uint8_t, 256> kNameChars = [] {
    std::array<std::uint8_t, 256> table{};
    for (int c = 0; c < 256; ++c)
        table[static_cast<std::size_t>(c)] = isNameChar(static_cast<std::uint8_t>(c)) ? 1 : 0;
    return table;
}();

// A dot and one of the eight endings of media files.
bool hasMediaExtension(const char* name, std::size_t length) {
    return length >= 4 && name[length - 4] == '.' &&
           HasMediaEnding(std::string_view(name, length), kEndingScanned);
}

// The length rule of both record kinds: the first byte when it is not zero
// (low byte first), else the second (high byte first); as a signed byte, so
// 128 and above are no length. Returns 0 when the bytes are no length.
int lengthOf(std::uint8_t b0, std::uint8_t b1, bool& bigEndian) {
    std::uint8_t byte;
    if (b0 != 0) {
        byte = b0;
        bigEndian = false;
    } else {
        if (b1 == 0)
            return 0;
        byte = b1;
        bigEndian = true;
    }
    const auto length = static_cast<std::int8_t>(byte);
    return length >= 1 && static_cast<std::uint32_t>(length) <= kMaxNameLength ? length : 0;
}

enum class Verdict { Impossible, Possible };

// The test every candidate of both kinds must pass first: a name length of 4
// to 127 and four name characters after it. Almost every offset of binary
// data fails it.
inline bool lengthPossible(const std::uint8_t* q) {
    const std::uint8_t length = q[0] != 0 ? q[0] : q[1];
    return static_cast<std::uint8_t>(length - 4) < 124;
}

// The first offset from 0 at which a candidate passes the first test (or
// whose six bytes run past the window), testing the rest with verdict. The
// four name characters are followed as a run of name characters that ends
// five bytes ahead, so each offset costs one table lookup, without branches.
template <class VerdictFn>
std::uint32_t firstPossible(const std::uint8_t* w, std::uint32_t avail, VerdictFn verdict) {
    std::uint32_t i = 0;
    if (avail >= 6) {
        std::uint32_t run = 0; // name characters in a row, ending at i + 4
        for (std::uint32_t k = 0; k < 5; ++k)
            run = (run + 1) & (0u - kNameChars[w[k]]);
        for (; i + 6 <= avail; ++i) {
            run = (run + 1) & (0u - kNameChars[w[i + 5]]);
            if (run >= 4 && lengthPossible(w + i) && verdict(w + i, avail - i) == Verdict::Possible)
                return i;
        }
    }
    while (i < avail && verdict(w + i, avail - i) == Verdict::Impossible)
        ++i;
    return i;
}

// Whether a database record can start at p, judged from the avail bytes that
// are known there. Possible also when the bytes end before the question is
// settled; the full attempt then decides.
inline Verdict databaseVerdict(const std::uint8_t* p, std::uint32_t avail) {
    if (avail < 2)
        return Verdict::Possible;
    bool big = false;
    const int l1 = lengthOf(p[0], p[1], big);
    if (l1 < 4)
        return Verdict::Impossible;
    const std::uint32_t nameEnd = 2 + static_cast<std::uint32_t>(l1);
    const std::uint32_t known = avail < nameEnd ? avail : nameEnd;
    for (std::uint32_t i = 2; i < known; ++i) {
        if (!kNameChars[p[i]])
            return Verdict::Impossible;
    }
    if (avail < nameEnd + 2)
        return Verdict::Possible;
    if (!hasMediaExtension(reinterpret_cast<const char*>(p + 2), static_cast<std::size_t>(l1)))
        return Verdict::Impossible;
    const auto l2 = static_cast<std::int8_t>(p[nameEnd + (big ? 1 : 0)]);
    if (l2 < 0 || l2 > kDatabaseProjectNameLimit)
        return Verdict::Impossible;
    const std::uint32_t projectEnd = nameEnd + 2 + static_cast<std::uint32_t>(l2);
    const std::uint32_t knownProject = avail < projectEnd ? avail : projectEnd;
    for (std::uint32_t i = nameEnd + 2; i < knownProject; ++i) {
        if (!kNameChars[p[i]])
            return Verdict::Impossible;
    }
    return Verdict::Possible;
}

// Whether a bin string can start at p. Only the tests that come before the
// progress report are made here, so that every string that reaches it is
// reported exactly as a byte-by-byte scan reports it.
inline Verdict binVerdict(const std::uint8_t* p, std::uint32_t avail) {
    if (avail < 2)
        return Verdict::Possible;
    bool big = false;
    const int length = lengthOf(p[0], p[1], big);
    if (length < 4)
        return Verdict::Impossible;
    const std::uint32_t end = 2 + static_cast<std::uint32_t>(length);
    const std::uint32_t known = avail < end ? avail : end;
    for (std::uint32_t i = 2; i < known; ++i) {
        if (!kNameChars[p[i]])
            return Verdict::Impossible;
    }
    return Verdict::Possible;
}

} // namespace

RecordScanner::OpenResult RecordScanner::OpenForScan(const char* path) {
    m_fileSize = 0;
    m_recordStart = 0;
    // A database or a bin on a volume that stops answering ends the scan
    // with an error instead of holding it for good.
    if (!Open(path, platform::SysFile::kAnswerInTime))
        return OpenResult::CannotOpen;
    m_fileSize = GetLength();
    if (m_fileSize < kMinimumSize) {
        Close();
        return OpenResult::TooSmall;
    }
    return OpenResult::Opened;
}

void RecordScanner::Close() {
    BufferedFile::Close();
    m_fileSize = 0;
}

template <class VerdictFn> bool RecordScanner::SkipImpossible(VerdictFn verdict) {
    std::uint64_t pos = m_recordStart;
    std::uint64_t filledAt = m_fileSize; // where this call last filled the window
    while (pos < m_fileSize) {
        std::uint32_t avail = 0;
        const std::uint8_t* window = WindowAt(pos, avail);
        if (window == nullptr) {
            if (!FillWindowAt(pos))
                break;
            filledAt = pos;
            continue;
        }
        const std::uint32_t i = firstPossible(window, avail, verdict);
        pos += i;
        if (i == avail)
            continue;
        // A candidate that the window's end cut off is judged again from a
        // window that starts at it; at the end of the file the full attempt
        // decides.
        const std::uint32_t rest = avail - i;
        if (rest < kMaxRecordBytes && pos != filledAt && pos + rest < m_fileSize) {
            if (!FillWindowAt(pos))
                break;
            filledAt = pos;
            continue;
        }
        break;
    }
    m_recordStart = pos < m_fileSize ? pos : m_fileSize;
    Seek(static_cast<std::int64_t>(m_recordStart), SeekMode::Begin);
    return m_recordStart < m_fileSize;
}

bool RecordScanner::SkipFailedCandidate(MediaRecord& record) {
    m_recordStart += 1;
    Seek(static_cast<std::int64_t>(m_recordStart), SeekMode::Begin);
    record = MediaRecord{};
    m_recordStart = GetPosition();
    return m_recordStart != m_fileSize;
}

template <class VerdictFn, class AttemptFn>
RecordScanner::ScanResult RecordScanner::ScanFor(MediaRecord& record, VerdictFn verdict,
                                                 AttemptFn attempt) {
    record = MediaRecord{};
    m_recordStart = GetPosition();
    if (m_recordStart == m_fileSize)
        return ScanResult::EndOfFile;
    for (;;) {
        if (!SkipImpossible(verdict))
            return ScanResult::EndOfFile;
        if (attempt())
            return ScanResult::RecordFound;
        if (!SkipFailedCandidate(record))
            return ScanResult::EndOfFile;
    }
}

RecordScanner::ScanResult RecordScanner::NextDatabaseRecord(MediaRecord& record,
                                                            Progress* progress) {
    const ScanResult result = ScanFor(
        record, [](const std::uint8_t* p, std::uint32_t n) { return databaseVerdict(p, n); },
        [&] { return AttemptDatabaseRecord(record); });
    if (result == ScanResult::RecordFound && progress != nullptr)
        progress->Step(m_recordStart, m_fileSize);
    return result;
}

bool RecordScanner::AttemptDatabaseRecord(MediaRecord& record) {
    // Read into zeroed buffers: a name cut short by the end of the file, or
    // one holding a zero byte, reads shorter than its length and fails.
    char name[kMaxNameLength + 1] = {};
    char project[kDatabaseProjectNameLimit + 1] = {};
    if (Read(m_lengthBytes, 2) == 0)
        return false;
    const int l1 = lengthOf(m_lengthBytes[0], m_lengthBytes[1], m_bigEndian);
    if (l1 == 0)
        return false;
    if (Read(name, static_cast<std::uint32_t>(l1)) == 0)
        return false;
    if (Read(m_lengthBytes, 2) == 0)
        return false;
    const auto l2 = static_cast<std::int8_t>(m_lengthBytes[m_bigEndian ? 1 : 0]);
    std::string_view projectName;
    if (l2 >= 1 && l2 <= kDatabaseProjectNameLimit) {
        if (Read(project, static_cast<std::uint32_t>(l2)) == 0)
            return false;
        projectName = std::string_view(project, static_cast<std::size_t>(l2));
    } else if (l2 == 0) {
        projectName = kNullProject;
    } else {
        return false;
    }
    const std::string_view fileName(name, static_cast<std::size_t>(l1));
    if (!IsPlausibleDatabaseRecord(fileName, projectName))
        return false;
    record.fileName.SetWhole(fileName);
    record.fileNameLength = static_cast<std::uint32_t>(l1);
    SharedText& known =
        m_projectNames[std::hash<std::string_view>{}(projectName) % m_projectNames.size()];
    if (known.view() != projectName)
        known = SharedText(projectName);
    record.projectName.Share(known);
    record.projectNameLength = static_cast<std::uint32_t>(projectName.size());
    return true;
}

bool RecordScanner::IsPlausibleDatabaseRecord(std::string_view fileName,
                                              std::string_view projectName) {
    // Zero bytes end a name early, and are no name characters either.
    if (!allNameChars(projectName.data(), projectName.size()))
        return false;
    if (fileName.size() < 4 || !allNameChars(fileName.data(), fileName.size()))
        return false;
    return hasMediaExtension(fileName.data(), fileName.size());
}

std::vector<std::string> RecordScanner::LongBinPaths() {
    constexpr std::size_t kStep = 64 * 1024;
    constexpr std::size_t kReach = 2 + 255; // a candidate's length and its longest path
    std::vector<std::string> paths;
    std::vector<std::uint8_t> bytes;
    for (std::uint64_t start = 0; start < m_fileSize; start += kStep) {
        const auto wanted =
            static_cast<std::uint32_t>(std::min<std::uint64_t>(kStep + kReach, m_fileSize - start));
        bytes.resize(wanted);
        Seek(static_cast<std::int64_t>(start), SeekMode::Begin);
        bytes.resize(Read(bytes.data(), wanted));
        const std::size_t got = bytes.size();
        for (std::size_t i = 0; i < std::min(kStep, got) && i + 1 < got; ++i) {
            const std::uint8_t b0 = bytes[i];
            const std::uint8_t b1 = bytes[i + 1];
            const std::size_t length = b1 == 0 ? b0 : b0 == 0 ? b1 : 0;
            if (length < 128 || i + 2 + length > got)
                continue;
            const auto* path = reinterpret_cast<const char*>(bytes.data() + i + 2);
            if (!allNameChars(path, length))
                continue;
            const std::string_view text(path, length);
            const std::size_t slash = text.rfind('/');
            if (slash == std::string_view::npos ||
                !hasMediaExtension(path + slash + 1, length - slash - 1))
                continue;
            paths.emplace_back(text);
            i += 1 + length;
        }
        if (got < wanted)
            break;
    }
    return paths;
}

RecordScanner::ScanResult RecordScanner::NextBinRecord(MediaRecord& record, Progress* progress) {
    m_progress = progress;
    return ScanFor(
        record, [](const std::uint8_t* p, std::uint32_t n) { return binVerdict(p, n); },
        [&] { return AttemptBinRecord(record); });
}

bool RecordScanner::AttemptBinRecord(MediaRecord& record) {
    char path[kMaxNameLength + 1] = {};
    if (Read(m_lengthBytes, 2) == 0)
        return false;
    const int length = lengthOf(m_lengthBytes[0], m_lengthBytes[1], m_binBigEndian);
    if (length == 0)
        return false;
    if (Read(path, static_cast<std::uint32_t>(length)) == 0)
        return false;
    std::string_view name(path, static_cast<std::size_t>(length));
    if (!IsPlausibleBinPath(name))
        return false;
    record.fileName.SetWhole(name);
    record.fileNameLength = static_cast<std::uint32_t>(name.size());
    return true;
}

bool RecordScanner::IsPlausibleBinPath(std::string_view& path) {
    const std::size_t length = path.size();
    if (length < 4)
        return false;
    std::size_t lastSlash = length;
    for (std::size_t i = 0; i < length; ++i) {
        const auto c = static_cast<std::uint8_t>(path[i]);
        if (!isNameChar(c))
            return false;
        if (c == '/')
            lastSlash = i;
    }
    if (m_progress != nullptr)
        m_progress->Step(m_recordStart, m_fileSize);
    if (lastSlash == length)
        return false;
    m_binFolder.assign(path.data(), lastSlash == 0 ? 1 : lastSlash);
    path.remove_prefix(lastSlash + 1);
    return hasMediaExtension(path.data(), path.size());
}
