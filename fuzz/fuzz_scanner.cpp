// Scans any bytes as a media database and as a bin, and checks that the
// scanner delivers exactly what a plain byte-by-byte reading finds.
#include "builders/literalscanner.h"
#include "fuzzinput.h"
#include "mediadb/recordscanner.h"

#include <vector>

namespace {

void scan(const std::string& path, const std::vector<std::uint8_t>& bytes, bool bin) {
    const LiteralScan expected = bin ? LiteralBinScan(bytes) : LiteralDatabaseScan(bytes);
    RecordScanner scanner;
    if (scanner.OpenForScan(path.c_str()) != RecordScanner::OpenResult::Opened) {
        if (!expected.records.empty())
            __builtin_trap();
        return;
    }
    MediaRecord record;
    std::size_t n = 0;
    while ((bin ? scanner.NextBinRecord(record, nullptr)
                : scanner.NextDatabaseRecord(record, nullptr)) ==
           RecordScanner::ScanResult::RecordFound) {
        if (n >= expected.records.size() || !(record == expected.records[n]))
            __builtin_trap();
        ++n;
    }
    if (n != expected.records.size())
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& path = WriteFuzzInput(data, size);
    const std::vector<std::uint8_t> bytes(data, data + size);
    scan(path, bytes, false);
    scan(path, bytes, true);
    return 0;
}
