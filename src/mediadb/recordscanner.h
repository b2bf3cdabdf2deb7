#pragma once
// Finds media file records in media databases (msmFMID.pmr) and media file
// paths in bins (.avb) without parsing their structure: at every byte offset
// it looks for a length-prefixed file name (and, in a database, a
// length-prefixed project name) in either byte order, accepts it only when
// the names pass a strict plausibility test, and otherwise moves on one byte.

#include "io/bufferedfile.h"
#include "mediadb/mediarecord.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class Progress;

class RecordScanner : public BufferedFile {
public:
    enum class OpenResult { Opened = 1, CannotOpen = 2, TooSmall = 3 };
    enum class ScanResult { RecordFound = 4, EndOfFile = 5 };
    // Files shorter than this hold no database worth scanning.
    static constexpr std::uint64_t kMinimumSize = 30;

    OpenResult OpenForScan(const char* path);
    ScanResult NextDatabaseRecord(MediaRecord& record, Progress* progress);
    ScanResult NextBinRecord(MediaRecord& record, Progress* progress);
    // The media file paths of the open bin that are longer than a record's
    // one-byte length allows (128 to 255 characters): no record is made of
    // them, but an editor is told. Reads the whole file again.
    std::vector<std::string> LongBinPaths();
    // The folder the last plausible bin path named, as the bin wrote it.
    const std::string& BinFolder() const { return m_binFolder; }
    void Close();

private:
    bool AttemptDatabaseRecord(MediaRecord& record);
    bool AttemptBinRecord(MediaRecord& record);
    static bool IsPlausibleDatabaseRecord(std::string_view fileName, std::string_view projectName);
    // Keeps only the part after the last "/" of a plausible path in path;
    // the part before it is then BinFolder().
    bool IsPlausibleBinPath(std::string_view& path);
    // One byte past the failed candidate; false at the end of the file.
    bool SkipFailedCandidate(MediaRecord& record);
    // Steps over the candidates in the window that cannot be records and
    // stops at one that may be. False at the end of the file.
    template <class Verdict> bool SkipImpossible(Verdict verdict);
    // The scan loop of both record kinds: skip, attempt, resynchronise.
    template <class VerdictFn, class AttemptFn>
    ScanResult ScanFor(MediaRecord& record, VerdictFn verdict, AttemptFn attempt);

    std::uint64_t m_fileSize = 0;
    std::uint64_t m_recordStart = 0;
    std::uint8_t m_lengthBytes[2] = {};
    Progress* m_progress = nullptr;
    bool m_bigEndian = false;
    bool m_binBigEndian = false;
    std::string m_binFolder;
    // The project names met lately, each shared by the records that name it
    // rather than made anew for every record: a database names few projects.
    std::array<SharedText, 64> m_projectNames;
};
