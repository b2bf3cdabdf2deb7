#pragma once
// A copy's reads and writes as the system makes them, with the test's own
// flush: it is handed each written file's descriptor and answers 0 or an
// errno. A run that places its files later calls it from threads of its
// own, several at once.

#include "platform/fileoperation.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <sys/stat.h>
#include <utility>

class FlushHookIo : public platform::CopyIo {
public:
    explicit FlushHookIo(std::function<int(int fd)> flush) : m_flush(std::move(flush)) {}
    int Flush(int fd) override { return m_flush(fd); }

    // The system's flush.
    static int SystemFlush(int fd) { return platform::SystemCopyIo().Flush(fd); }
    // The size of the written file, which tells a test's files apart.
    static off_t SizeOf(int fd) {
        struct stat st {};
        return ::fstat(fd, &st) == 0 ? st.st_size : -1;
    }

private:
    std::function<int(int)> m_flush;
};

// Holds whoever waits at it until it is opened, or for at most a while.
class Gate {
public:
    // True when opened in time.
    bool Wait(std::chrono::milliseconds most) {
        std::unique_lock lock(m_mutex);
        return m_opened.wait_for(lock, most, [this] { return m_open; });
    }
    void Open() {
        {
            const std::lock_guard lock(m_mutex);
            m_open = true;
        }
        m_opened.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_opened;
    bool m_open = false;
};
