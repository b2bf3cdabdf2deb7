#pragma once
// A copy's reads and writes as the system makes them, with the test's own
// flush of each written file: 0 or an errno. A run that places its files
// later calls it from threads of its own, several at once.

#include "platform/fileoperation.h"

#include <functional>
#include <sys/stat.h>
#include <utility>

class FlushHookIo : public platform::CopyIo {
public:
    explicit FlushHookIo(std::function<int(int fd)> flush) : m_flush(std::move(flush)) {}
    int Flush(int fd) override { return m_flush(fd); }

    static int SystemFlush(int fd) { return platform::SystemCopyIo().Flush(fd); }
    // The size of the written file, which tells a test's files apart.
    static off_t SizeOf(int fd) {
        struct stat st {};
        return ::fstat(fd, &st) == 0 ? st.st_size : -1;
    }

private:
    std::function<int(int)> m_flush;
};
