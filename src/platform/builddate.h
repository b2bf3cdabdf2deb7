#pragma once

namespace platform {

// The day this program was built, in the form of __DATE__ ("Feb 10 2007",
// "Feb  1 2007"), in UTC: the day of SOURCE_DATE_EPOCH or of the last commit,
// so that two builds of one commit are the same program.
const char* BuildDate();

} // namespace platform
