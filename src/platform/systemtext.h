#pragma once
#include <string>

namespace platform {

// The system's description of an error code (errno), never empty.
std::string SystemErrorText(int code);

// This machine's name ("localhost" when it has none), with no "/" in it:
// it is a part of file names.
std::string HostName();

} // namespace platform
