#pragma once
// Text for other programs and for people at a terminal: CSV as RFC 4180
// writes it (a field with a comma, a quote or a line break is quoted, its
// quotes doubled; lines end in CR LF), JSON strings, and names made safe to
// print.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One CSV field, quoted when it must be.
std::string CsvField(std::string_view text);
void AppendCsvField(std::string& out, std::string_view text);
// One CSV line of those fields, with its CR LF.
std::string CsvLine(const std::vector<std::string>& fields);
// A JSON string literal of UTF-8 text, quotes included; control characters
// escaped, bytes that are not UTF-8 replaced by U+FFFD.
std::string JsonString(std::string_view text);
void AppendJsonString(std::string& out, std::string_view text);
// Whether the bytes are UTF-8 throughout (JsonString keeps them as they are).
bool IsUtf8(std::string_view text);
// The bytes in base64 (RFC 4648, padded).
std::string Base64(std::string_view bytes);
// The bytes of padded base64; nothing when the text is not that.
std::optional<std::string> FromBase64(std::string_view text);
// The text as it may be shown on a terminal: a file name can carry escape
// sequences that would move the cursor, retitle the window or worse. Control
// characters (C0, DEL and C1) and bytes that are not UTF-8 come out as \xNN,
// a backslash as two, so that what is shown still says the exact bytes.
std::string TerminalText(std::string_view text);
