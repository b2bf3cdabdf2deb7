#pragma once
// Subscribes to the log for the life of the object, so a test can read
// exactly the lines the code under test logged.

#include "feedback/log.h"

#include <string>
#include <vector>

class LogCapture : public LogSink {
public:
    LogCapture();
    ~LogCapture() override;

    void WriteLine(std::string_view line) override { m_lines.emplace_back(line); }
    std::vector<std::string> lines() const { return m_lines; }
    void clear() { m_lines.clear(); }

private:
    std::vector<std::string> m_lines;
    LogSink* m_previous;
};
