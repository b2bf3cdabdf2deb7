#pragma once
// Text tables for other programs: CSV as RFC 4180 writes it (a field with a
// comma, a quote or a line break is quoted, its quotes doubled; lines end in
// CR LF) and JSON strings.

#include <string>
#include <string_view>
#include <vector>

// One CSV field, quoted when it must be.
std::string CsvField(std::string_view text);
// One CSV line of those fields, with its CR LF.
std::string CsvLine(const std::vector<std::string>& fields);
// A JSON string literal of UTF-8 text, quotes included; control characters
// escaped, bytes that are not UTF-8 replaced by U+FFFD.
std::string JsonString(std::string_view text);
