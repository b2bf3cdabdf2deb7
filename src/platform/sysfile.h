#pragma once
// An open operating-system file for reading: positioned reads and the length.
// No buffering; BufferedFile buffers on top.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// Why an open failed: the errno and the name that was given.
struct OpenError {
    int systemCode = -1;
    std::string fileName;
    std::string reason; // set instead of systemCode for causes errno has no code for

    void clear();
    // The system's description of the cause, naming the file.
    std::string describe() const;
};

class SysFile {
public:
    // Open flags; 0 opens a file read-only with plain system reads.
    // For a file on a volume that may stop answering while it is read: the
    // open and every read are made by a thread that is left behind when the
    // volume does not answer within its deadline. The open then fails, and
    // reads end, with ETIMEDOUT. Reads come in chunks of kAnsweredChunk bytes,
    // growing up to kLargestAnsweredChunk while a file is read on in order.
    static constexpr unsigned kAnswerInTime = 1;
    static constexpr std::size_t kAnsweredChunk = 64 * 1024;
    static constexpr std::size_t kLargestAnsweredChunk = 1024 * 1024;

    SysFile() = default;
    ~SysFile();
    SysFile(const SysFile&) = delete;
    SysFile& operator=(const SysFile&) = delete;

    // Opens a regular file for reading. Directories, devices and pipes and
    // paths longer than the path limit are refused.
    bool open(const char* path, unsigned flags, OpenError& error);
    void close();
    bool isOpen() const { return m_fd >= 0; }

    // Reads up to count bytes at offset; returns the bytes obtained (fewer at
    // the end of the file or on an error).
    std::size_t readAt(std::uint64_t offset, void* destination, std::size_t count);
    // Why a read delivered fewer bytes than the file holds: the errno of
    // the first read that failed since the open, 0 when none did.
    int readError() const { return m_readError; }
    // The current length of the file, or 0 when it cannot be asked; opened
    // with kAnswerInTime, the length it had when it was opened.
    std::uint64_t length() const;

    // The open file's path with links and dots resolved; empty when closed.
    const std::string& path() const;
    // How many system reads this file made since it was opened.
    std::uint64_t systemReads() const { return m_systemReads; }
    // How many bytes those reads delivered.
    std::uint64_t bytesRead() const { return m_bytesRead; }

private:
    std::size_t readInTime(std::uint64_t offset, unsigned char* out, std::size_t count);

    int m_fd = -1;
    bool m_inTime = false;
    int m_readError = 0;
    std::uint64_t m_length = 0;
    std::vector<unsigned char> m_chunk;
    std::uint64_t m_chunkStart = 0;
    std::size_t m_chunkBytes = kAnsweredChunk; // the size of the next chunk asked
    std::string m_openedPath;
    mutable std::string m_path;
    std::uint64_t m_systemReads = 0;
    std::uint64_t m_bytesRead = 0;
};

} // namespace platform
