#pragma once
// The folder a benchmark writes its inputs into: a new folder below $TMPDIR
// (or /tmp), removed by the benchmark when it ends.

#include <cstdio>
#include <cstdlib>
#include <string>

#include <stdlib.h>

inline std::string MakeBenchDir(const char* name) {
    const char* base = std::getenv("TMPDIR");
    if (base == nullptr || *base == '\0')
        base = "/tmp";
    std::string dirTemplate = std::string(base) + "/tolvane-bench-" + name + "-XXXXXX";
    if (::mkdtemp(dirTemplate.data()) == nullptr) {
        std::perror(dirTemplate.c_str());
        return {};
    }
    return dirTemplate;
}
