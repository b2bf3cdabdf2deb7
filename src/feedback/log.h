#pragma once
// The process-wide log. Every line goes to the debug console while logging is
// on: g_consoleEnabled is 1 and g_console exists. These functions test both
// first, so code that logs needs no console and never fails without one.

#include <string>

class OrrinConsole;

extern int g_consoleEnabled;
extern OrrinConsole* g_console;

bool LoggingOn();

void Log(const char* text);
void Log(const std::string& text);
// Formats into the console's line buffer (at most 1023 characters) and writes
// it as one line.
void LogF(const char* format, ...) __attribute__((format(printf, 1, 2)));
// "<what> : failed with error <code>: <system text>"; nothing for code 0.
void LogError(int code, const char* what);
// The string-table text with that id, when it is not empty.
void LogResource(int id);
