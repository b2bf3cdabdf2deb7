#include "platform/builddate.h"

// Written into the build tree at build time by cmake/builddate.cmake.
#include "builddate_text.h"

namespace platform {

const char* BuildDate() {
    return TOLVANE_BUILD_DATE;
}

} // namespace platform
