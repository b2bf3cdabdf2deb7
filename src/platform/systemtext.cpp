#include "platform/systemtext.h"

#include <cstring>

namespace platform {

std::string SystemErrorText(int code) {
    char buffer[256] = {};
    // The GNU variant may return a static text instead of filling the buffer.
    const char* text = strerror_r(code, buffer, sizeof buffer);
    if (text == nullptr || *text == '\0')
        return "Unknown error " + std::to_string(code);
    return text;
}

} // namespace platform
