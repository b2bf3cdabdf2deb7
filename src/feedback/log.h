#pragma once
// The process-wide log. Code at every layer writes lines here; whoever wants
// to see them (the debug console, a test) subscribes as the log's sink. With
// no sink, logging is off and every call returns at once.

#include <string>
#include <string_view>

class LogSink {
public:
    virtual ~LogSink() = default;
    virtual void WriteLine(std::string_view line) = 0;
};

// Installs the sink lines go to (not owned); null switches logging off.
void SetLogSink(LogSink* sink);
LogSink* CurrentLogSink();
bool LoggingOn();

void Log(const char* text);
void Log(const std::string& text);
// A printf-style line, cut at 1023 characters.
void LogF(const char* format, ...) __attribute__((format(printf, 1, 2)));
// "<what> : failed with error <code>: <system text>"; nothing for code 0.
void LogError(int code, const char* what);
