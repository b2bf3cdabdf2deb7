#include "builders/mediafolder.h"

#include <filesystem>
#include <fstream>
#include <stdexcept>

void MakeFolder(const std::string& path) {
    std::filesystem::create_directories(path);
}

void MakeFile(const std::string& path, std::size_t size) {
    MakeFolder(std::filesystem::path(path).parent_path().string());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (size > 0) {
        out.seekp(static_cast<std::streamoff>(size - 1));
        out.put('\0');
    }
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

std::string WriteDatabase(const std::string& folder, const std::vector<DbRecord>& records,
                          std::uint32_t seed) {
    DatabaseBuilder b;
    b.filler(64, seed);
    std::uint32_t i = 0;
    for (const DbRecord& r : records) {
        b.record(r.fileName, r.project, i % 2 == 0 ? ByteOrder::LowFirst : ByteOrder::HighFirst);
        b.filler(40 + i % 50, seed + i + 1);
        ++i;
    }
    MakeFolder(folder);
    const std::string path = folder + "/msmFMID.pmr";
    b.write(path);
    return path;
}
