#include "builders/samplemedia.h"

#include <cstdio>
#include <exception>

int main(int argc, char** argv) {
    // An option is no folder: "--help" would otherwise become one.
    if (argc != 2 || argv[1][0] == '-') {
        std::fprintf(stderr, "usage: sample_media FOLDER\n");
        return 2;
    }
    try {
        const std::string bin = WriteSampleMedia(argv[1]);
        if (bin.empty()) {
            std::fprintf(stderr, "sample_media: the media under %s were not all written\n",
                         argv[1]);
            return 1;
        }
        std::printf("Sample media written under %s\nBin: %s\n", argv[1], bin.c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "sample_media: %s\n", e.what());
        return 1;
    }
    return 0;
}
