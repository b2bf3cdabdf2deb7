#pragma once
// Installs a debug console of its own for the life of the object, so a test
// can read exactly the lines the code under test logged.

#include "feedback/orrinconsole.h"

#include <memory>
#include <string>
#include <vector>

class LogCapture {
public:
    LogCapture();
    ~LogCapture();

    std::vector<std::string> lines() const;
    void clear();
    OrrinConsole& console() { return *m_console; }

private:
    std::unique_ptr<OrrinConsole> m_console;
    OrrinConsole* m_previous;
    int m_previousEnabled;
};
