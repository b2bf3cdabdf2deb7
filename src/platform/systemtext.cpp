#include "platform/systemtext.h"

#include <algorithm>
#include <cstring>

#include <unistd.h>

namespace platform {

std::string SystemErrorText(int code) {
    char buffer[256] = {};
    // The GNU variant may return a static text instead of filling the buffer.
    const char* text = strerror_r(code, buffer, sizeof buffer);
    if (text == nullptr || *text == '\0')
        return "Unknown error " + std::to_string(code);
    return text;
}

std::string HostName() {
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) != 0 || host[0] == '\0')
        return "localhost";
    std::string name(host);
    std::replace(name.begin(), name.end(), '/', '_');
    return name;
}

} // namespace platform
