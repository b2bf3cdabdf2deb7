#include "builders/databasebuilder.h"

#include <fstream>
#include <random>
#include <stdexcept>

DatabaseBuilder& DatabaseBuilder::length(std::uint8_t n, ByteOrder order) {
    if (order == ByteOrder::LowFirst)
        m_data.insert(m_data.end(), {n, 0});
    else
        m_data.insert(m_data.end(), {0, n});
    return *this;
}

DatabaseBuilder& DatabaseBuilder::text(std::string_view s) {
    m_data.insert(m_data.end(), s.begin(), s.end());
    return *this;
}

DatabaseBuilder& DatabaseBuilder::bytes(std::initializer_list<std::uint8_t> b) {
    m_data.insert(m_data.end(), b);
    return *this;
}

DatabaseBuilder& DatabaseBuilder::record(std::string_view fileName, std::string_view project,
                                         ByteOrder order) {
    length(static_cast<std::uint8_t>(fileName.size()), order).text(fileName);
    return length(static_cast<std::uint8_t>(project.size()), order).text(project);
}

DatabaseBuilder& DatabaseBuilder::binPath(std::string_view path, ByteOrder order) {
    return length(static_cast<std::uint8_t>(path.size()), order).text(path);
}

DatabaseBuilder& DatabaseBuilder::filler(std::size_t n, std::uint32_t seed) {
    std::mt19937 rng(seed);
    for (std::size_t i = 0; i < n; ++i)
        m_data.push_back(static_cast<std::uint8_t>(0x80 | (rng() & 0x7F)));
    return *this;
}

DatabaseBuilder& DatabaseBuilder::noise(std::size_t n, std::uint32_t seed) {
    std::mt19937 rng(seed);
    for (std::size_t i = 0; i < n; ++i)
        m_data.push_back(static_cast<std::uint8_t>(rng()));
    return *this;
}

void DatabaseBuilder::write(const std::string& path) const {
    WriteBytes(path, m_data);
}

void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}
