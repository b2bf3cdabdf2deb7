#include "support/logcapture.h"

#include "feedback/log.h"

#include <QPushButton>

#include <stdexcept>

LogCapture::LogCapture()
    : m_console(std::make_unique<OrrinConsole>()), m_previous(g_console),
      m_previousEnabled(g_consoleEnabled) {
    if (!m_console->Create())
        throw std::runtime_error("console template missing");
    g_console = m_console.get();
    g_consoleEnabled = 1;
}

LogCapture::~LogCapture() {
    g_console = m_previous;
    g_consoleEnabled = m_previousEnabled;
}

std::vector<std::string> LogCapture::lines() const {
    std::vector<std::string> result;
    for (int i = 0; i < m_console->lineCount(); ++i)
        result.push_back(m_console->line(i));
    return result;
}

void LogCapture::clear() {
    if (auto* button = m_console->controlAs<QPushButton>(res::IDC_CONSOLE_CLEAR))
        button->click();
}
