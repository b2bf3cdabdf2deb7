#include "io/bufferedfile.h"

#include "feedback/log.h"

#include <algorithm>
#include <cstring>

BufferedFile::BufferedFile() {
    std::memset(m_buffer, 0, sizeof m_buffer);
}

BufferedFile::~BufferedFile() {
    Close();
}

bool BufferedFile::Open(const char* path, unsigned flags) {
    std::memset(m_buffer, 0, sizeof m_buffer);
    if (IsOpen())
        Close();
    m_position = 0;
    m_bufferStart = 0;
    m_bufferInvalid = true;
    m_size = 0;
    m_windowLength = 0;
    if (!m_file.open(path, flags, m_openError)) {
        std::string text = m_openError.describe();
        if (text.size() > 1023)
            text.resize(1023);
        Log("Orrin File->Open error : ");
        Log(text);
        m_bufferInvalid = true;
        m_bufferStart = 0;
        return false;
    }
    m_bufferInvalid = true;
    m_bufferStart = 0;
    m_size = m_file.length();
    return true;
}

void BufferedFile::Close() {
    m_file.close();
    m_position = 0;
    m_bufferStart = 0;
    m_bufferInvalid = true;
    m_size = 0;
    m_windowLength = 0;
}

std::uint64_t BufferedFile::GetLength() {
    if (!IsOpen())
        return 0;
    m_size = m_file.length();
    return m_size;
}

std::uint64_t BufferedFile::GetPosition() const {
    return IsOpen() ? m_position : 0;
}

void BufferedFile::InvalidateWindow(std::uint64_t start) {
    m_bufferStart = start;
    m_bufferInvalid = true;
}

std::uint64_t BufferedFile::Seek(std::int64_t offset, SeekMode mode) {
    if (!IsOpen()) {
        Log("Bad seek");
        return 0;
    }
    std::uint64_t target = 0;
    switch (mode) {
    case SeekMode::Begin:
        if (offset < 0) {
            Log("Bad seek");
            return m_position;
        }
        target = std::min(static_cast<std::uint64_t>(offset), m_size);
        break;
    case SeekMode::Current:
        if (offset == 0) {
            Log("Bad seek");
            return m_position;
        }
        if (offset > 0) {
            target = std::min(m_position + static_cast<std::uint64_t>(offset), m_size);
        } else {
            const std::uint64_t back = 0 - static_cast<std::uint64_t>(offset);
            if (back > m_position) {
                m_position = 0;
                if (m_bufferStart != 0)
                    InvalidateWindow(0);
                return 0;
            }
            target = m_position - back;
        }
        break;
    case SeekMode::End:
        if (offset > 0) {
            Log("Bad seek");
            return m_position;
        } else {
            // A seek before the start of the file stops at the start.
            const std::uint64_t back = 0 - static_cast<std::uint64_t>(offset);
            target = back > m_size ? 0 : m_size - back;
        }
        break;
    }
    m_position = target;
    if (target < m_bufferStart || target >= m_bufferStart + kWindowSize)
        InvalidateWindow(target);
    return target;
}

std::uint32_t BufferedFile::Read(void* destination, std::uint32_t count) {
    m_lastRequest = count;
    if (m_position + count > m_size)
        m_lastRequest = m_size > m_position ? static_cast<std::uint32_t>(m_size - m_position) : 0;
    const std::uint32_t n = m_lastRequest;
    if (n == 0)
        return 0;
    auto* out = static_cast<std::uint8_t*>(destination);

    if (n > kWindowSize) {
        m_lastResult = static_cast<std::uint32_t>(m_file.readAt(m_position, out, n));
        m_position += m_lastResult;
        m_bufferStart = m_position;
        m_bufferInvalid = true;
        return m_lastResult;
    }

    // A window shorter than 2048 bytes ends where the file ended when it was
    // filled; a read beyond that must come from the file again.
    if (!m_bufferInvalid && m_windowLength < kWindowSize &&
        m_position + n > m_bufferStart + m_windowLength)
        m_bufferInvalid = true;

    if (m_bufferInvalid) {
        m_lastResult = static_cast<std::uint32_t>(m_file.readAt(m_position, m_buffer, kWindowSize));
        if (m_lastResult < n) {
            m_lastResult = 0;
            Log("unknown Read error 01 in BufferedFile");
            return 0;
        }
        std::memcpy(out, m_buffer, n);
        m_windowLength = m_lastResult;
        m_bufferStart = m_position;
        m_position += n;
        m_bufferInvalid = false;
        return n;
    }

    if (m_position + n <= m_bufferStart + kWindowSize) {
        std::memcpy(out, m_buffer + (m_position - m_bufferStart), n);
        Seek(static_cast<std::int64_t>(m_position + n), SeekMode::Begin);
        return n;
    }

    const auto k = static_cast<std::uint32_t>(m_bufferStart + kWindowSize - m_position);
    std::memcpy(out, m_buffer + (m_position - m_bufferStart), k);
    m_bufferStart = Seek(static_cast<std::int64_t>(m_position + k), SeekMode::Begin);
    m_lastResult = static_cast<std::uint32_t>(m_file.readAt(m_bufferStart, m_buffer, kWindowSize));
    if (m_lastResult < n - k)
        return 0;
    std::memcpy(out + k, m_buffer, n - k);
    m_windowLength = m_lastResult;
    m_position += n - k;
    m_bufferInvalid = false;
    return n;
}

const std::uint8_t* BufferedFile::WindowAt(std::uint64_t pos, std::uint32_t& available) const {
    available = 0;
    if (m_bufferInvalid || pos < m_bufferStart)
        return nullptr;
    const std::uint64_t end = std::min(m_bufferStart + m_windowLength, m_size);
    if (pos >= end)
        return nullptr;
    available = static_cast<std::uint32_t>(end - pos);
    return m_buffer + (pos - m_bufferStart);
}

bool BufferedFile::FillWindowAt(std::uint64_t pos) {
    if (!IsOpen() || pos >= m_size)
        return false;
    m_position = pos;
    m_bufferStart = pos;
    m_lastResult = static_cast<std::uint32_t>(m_file.readAt(pos, m_buffer, kWindowSize));
    m_windowLength = m_lastResult;
    m_bufferInvalid = m_lastResult == 0;
    return !m_bufferInvalid;
}
