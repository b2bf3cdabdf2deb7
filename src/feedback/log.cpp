#include "feedback/log.h"

#include "feedback/orrinconsole.h"

#include <cstdarg>
#include <cstdio>

int g_consoleEnabled = 0;
OrrinConsole* g_console = nullptr;

bool LoggingOn() {
    return g_consoleEnabled == 1 && g_console != nullptr;
}

void Log(const char* text) {
    if (LoggingOn())
        g_console->Log(text);
}

void Log(const std::string& text) {
    if (LoggingOn())
        g_console->Log(text);
}

void LogF(const char* format, ...) {
    if (!LoggingOn())
        return;
    va_list args;
    va_start(args, format);
    std::vsnprintf(g_console->m_line, OrrinConsole::kFormatLimit, format, args);
    va_end(args);
    g_console->LogBuffer();
}

void LogError(int code, const char* what) {
    if (LoggingOn())
        g_console->LogError(code, what);
}

void LogResource(int id) {
    if (LoggingOn())
        g_console->LogResource(id);
}
