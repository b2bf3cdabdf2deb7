#pragma once
// Builds the bytes of media databases and bins: length-prefixed names in
// either byte order, raw bytes and binary filler, written to a file.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

enum class ByteOrder { LowFirst, HighFirst };

class DatabaseBuilder {
public:
    // A two-byte length field: {n, 0} low byte first, {0, n} high byte first.
    DatabaseBuilder& length(std::uint8_t n, ByteOrder order);
    DatabaseBuilder& text(std::string_view s);
    DatabaseBuilder& bytes(std::initializer_list<std::uint8_t> b);
    // A media database record: file name, then project ("" = no project).
    DatabaseBuilder& record(std::string_view fileName, std::string_view project,
                            ByteOrder order = ByteOrder::LowFirst);
    // A bin's media file path string.
    DatabaseBuilder& binPath(std::string_view path, ByteOrder order = ByteOrder::LowFirst);
    // Binary filler that can never hold a record or a path: bytes of 0x80 and
    // above, which are no length, no name character and no zero.
    DatabaseBuilder& filler(std::size_t n, std::uint32_t seed = 1);
    // Random bytes of any value, for robustness tests.
    DatabaseBuilder& noise(std::size_t n, std::uint32_t seed = 1);

    const std::vector<std::uint8_t>& data() const { return m_data; }
    std::size_t size() const { return m_data.size(); }
    // Writes the bytes to path; throws when the file cannot be written.
    void write(const std::string& path) const;

private:
    std::vector<std::uint8_t> m_data;
};

// Writes bytes to a file; throws when it cannot.
void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);
