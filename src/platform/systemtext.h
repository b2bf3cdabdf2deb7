#pragma once
#include <string>

namespace platform {

// The system's description of an error code (errno), never empty.
std::string SystemErrorText(int code);

} // namespace platform
