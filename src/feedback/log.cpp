#include "feedback/log.h"

#include "platform/systemtext.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>

namespace {

LogSink* g_logSink = nullptr;
// Lines may come from several threads (a report's pieces read files at once).
std::recursive_mutex g_logMutex;

// Formatted lines are cut here, as the console's line buffer always did.
constexpr std::size_t kFormatLimit = 1024;

} // namespace

void SetLogSink(LogSink* sink) {
    g_logSink = sink;
}

LogSink* CurrentLogSink() {
    return g_logSink;
}

bool LoggingOn() {
    return g_logSink != nullptr;
}

void Log(const char* text) {
    const std::lock_guard lock(g_logMutex);
    if (g_logSink != nullptr)
        g_logSink->WriteLine(text != nullptr ? text : "");
}

void Log(const std::string& text) {
    const std::lock_guard lock(g_logMutex);
    if (g_logSink != nullptr)
        g_logSink->WriteLine(text);
}

void LogF(const char* format, ...) {
    if (g_logSink == nullptr)
        return;
    char line[kFormatLimit];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    const std::lock_guard lock(g_logMutex);
    if (g_logSink != nullptr)
        g_logSink->WriteLine(line);
}

void LogError(int code, const char* what) {
    if (g_logSink == nullptr || code == 0)
        return;
    const std::string text = platform::SystemErrorText(code);
    char line[kFormatLimit];
    std::snprintf(line, sizeof line, "%s : failed with error %d: %s", what ? what : "", code,
                  text.c_str());
    g_logSink->WriteLine(line);
}
