#include "fuzzinput.h"

#include <cstdio>
#include <filesystem>
#include <unistd.h>

const std::string& WriteFuzzInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path = [] {
        const char* base = std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
        return std::string(base) + "/tolvane-fuzz-" + std::to_string(::getpid());
    }();
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f != nullptr) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    return path;
}
