#pragma once
// The program's string table: numbered texts shown or logged by the program.

namespace res {

inline constexpr int IDS_VERSION = 102;
inline constexpr int IDS_PRODUCT = 103;
inline constexpr int IDS_AUTHOR = 104;
inline constexpr int IDS_SEPARATOR = 106;
inline constexpr int IDS_ABOUT_ITEM = 108;
inline constexpr int IDS_DLG_INIT_COMPLETE = 1002;
inline constexpr int IDS_ABORTED_BY_USER = 1003;
inline constexpr int IDS_OPERATION_ABORTED = 2004;

// The string with that id; an empty string when the table has none.
const char* LoadResourceString(int id);

} // namespace res
