#pragma once
// Buffered read-only file reader with 64-bit positions and one 2048-byte
// read-ahead window. Reads and seeks that stay inside the window cost no
// system call, which keeps byte-wise scanning of large files fast.
// Problems go to the log and come back as return values; it never throws.

#include "platform/sysfile.h"

#include <cstdint>
#include <string>

class BufferedFile {
public:
    static constexpr std::uint32_t kWindowSize = 2048;

    enum class SeekMode { Begin = 0, Current = 1, End = 2 };

    BufferedFile();
    ~BufferedFile();
    BufferedFile(const BufferedFile&) = delete;
    BufferedFile& operator=(const BufferedFile&) = delete;

    // False on failure, after logging "Orrin File->Open error : " and the
    // system's reason. flags are SysFile's open flags.
    bool Open(const char* path, unsigned flags = 0);
    // Why the last Open failed.
    const platform::OpenError& OpenFailure() const { return m_openError; }
    void Close();
    bool IsOpen() const { return m_file.isOpen(); }
    std::uint64_t GetLength();
    std::uint64_t GetPosition() const;
    std::uint64_t Seek(std::int64_t offset, SeekMode mode);
    // Bytes delivered to destination; 0 at the end of the file or on failure.
    std::uint32_t Read(void* destination, std::uint32_t count);
    std::string GetFilePath() const { return m_file.path(); }
    // The errno of the first read that failed since the open, 0 when none
    // did: a read that delivered less for that reason is no end of file.
    int ReadError() const { return m_file.readError(); }

    // System reads made since the file was opened.
    std::uint64_t SystemReads() const { return m_file.systemReads(); }
    // Bytes those reads delivered: what reading the file cost.
    std::uint64_t BytesRead() const { return m_file.bytesRead(); }

protected:
    // The window's bytes from pos on, as far as both the window and the file
    // reach, or null when pos is not inside the valid window.
    const std::uint8_t* WindowAt(std::uint64_t pos, std::uint32_t& available) const;
    // Positions the reader at pos and fills the window from there with one
    // system read. False when nothing could be read there.
    bool FillWindowAt(std::uint64_t pos);

private:
    void InvalidateWindow(std::uint64_t start);

    platform::SysFile m_file;
    std::uint8_t m_buffer[kWindowSize];
    platform::OpenError m_openError;
    std::uint64_t m_bufferStart = 0;
    std::uint64_t m_position = 0;
    std::uint64_t m_size = 0;
    bool m_bufferInvalid = true;
    std::uint32_t m_lastRequest = 0;
    std::uint32_t m_lastResult = 0;
    // Bytes the last window fill obtained; the window is valid only that far,
    // even when the file changed length after it was opened.
    std::uint32_t m_windowLength = 0;
};
