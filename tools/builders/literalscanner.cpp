#include "builders/literalscanner.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace {

// A file read as the buffered reader reads it: reads stop at the end of the
// file and deliver what is there.
struct Reader {
    const std::vector<std::uint8_t>& bytes;
    std::uint64_t pos = 0;

    std::uint32_t read(void* out, std::uint32_t n) {
        const std::uint64_t left = bytes.size() - pos;
        const auto m = static_cast<std::uint32_t>(std::min<std::uint64_t>(n, left));
        if (m == 0)
            return 0;
        std::memcpy(out, bytes.data() + pos, m);
        pos += m;
        return m;
    }
};

bool inRange(const char* s, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x20 || c > 0x7F)
            return false;
    }
    return true;
}

bool mediaEnding(const char* name, std::size_t n) {
    if (n < 4 || name[n - 4] != '.')
        return false;
    const std::string e(name + n - 3, 3);
    for (const char* x : {"aif", "omf", "mxf", "wav", "AIF", "OMF", "MXF", "WAV"}) {
        if (e == x)
            return true;
    }
    return false;
}

// The length rule; 0 when the bytes are no length.
int lengthField(const std::uint8_t b[2], int& big) {
    int v;
    if (b[0] == 0 && b[1] == 0)
        return 0;
    if (b[0] == 0) {
        big = 1;
        v = static_cast<std::int8_t>(b[1]);
    } else {
        big = 0;
        v = static_cast<std::int8_t>(b[0]);
    }
    return v >= 1 && v <= 259 ? v : 0;
}

} // namespace

LiteralScan LiteralDatabaseScan(const std::vector<std::uint8_t>& file) {
    LiteralScan out;
    if (file.size() < 30)
        return out;
    Reader r{file};
    std::uint8_t lengthBytes[2] = {};
    int big = 0;
    for (std::uint64_t start = 0; start < file.size(); ++start) {
        r.pos = start;
        MediaRecord rec;
        char fileName[261] = {};
        char projectName[72] = {};
        if (r.read(lengthBytes, 2) == 0)
            continue;
        const int l1 = lengthField(lengthBytes, big);
        if (l1 == 0 || r.read(fileName, static_cast<std::uint32_t>(l1)) == 0)
            continue;
        rec.fileNameLength = static_cast<std::uint32_t>(l1);
        if (r.read(lengthBytes, 2) == 0)
            continue;
        const int l2 = static_cast<std::int8_t>(lengthBytes[big]);
        if (l2 >= 1 && l2 <= 66) {
            if (r.read(projectName, static_cast<std::uint32_t>(l2)) == 0)
                continue;
            rec.projectNameLength = static_cast<std::uint32_t>(l2);
        } else if (l2 == 0) {
            std::strcpy(projectName, "**NULL_PROJECT");
            rec.projectNameLength = 14;
        } else {
            continue;
        }
        const std::size_t pl = strnlen(projectName, sizeof projectName);
        const std::size_t fl = strnlen(fileName, sizeof fileName);
        if (pl != rec.projectNameLength || !inRange(projectName, pl) || rec.fileNameLength < 4 ||
            fl != rec.fileNameLength || !inRange(fileName, fl) || !mediaEnding(fileName, fl))
            continue;
        rec.fileName.SetWhole(std::string_view(fileName, fl));
        rec.projectName.SetWhole(std::string_view(projectName, pl));
        out.records.push_back(rec);
        out.progress.push_back(start);
        start = r.pos - 1; // the next candidate starts right after the record
    }
    return out;
}

LiteralScan LiteralBinScan(const std::vector<std::uint8_t>& file) {
    LiteralScan out;
    if (file.size() < 30)
        return out;
    Reader r{file};
    std::uint8_t lengthBytes[2] = {};
    int big = 0;
    for (std::uint64_t start = 0; start < file.size(); ++start) {
        r.pos = start;
        MediaRecord rec;
        char fileName[261] = {};
        if (r.read(lengthBytes, 2) == 0)
            continue;
        const int l = lengthField(lengthBytes, big);
        if (l == 0 || r.read(fileName, static_cast<std::uint32_t>(l)) == 0)
            continue;
        rec.fileNameLength = static_cast<std::uint32_t>(l);
        const std::size_t n = strnlen(fileName, sizeof fileName);
        if (rec.fileNameLength < 4 || n != rec.fileNameLength || !inRange(fileName, n))
            continue;
        out.progress.push_back(start);
        const char* slash = static_cast<const char*>(std::memchr(fileName, '/', n));
        if (slash == nullptr)
            continue;
        const std::string path(fileName, n);
        const std::string tail = path.substr(path.rfind('/') + 1);
        rec.fileName.SetWhole(tail);
        rec.fileNameLength = static_cast<std::uint32_t>(tail.size());
        if (!mediaEnding(tail.c_str(), tail.size()))
            continue;
        out.records.push_back(rec);
        start = r.pos - 1;
    }
    return out;
}
