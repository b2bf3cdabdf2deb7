#pragma once
// The program's command line: the windows, the headless report, or its help.

#include "report/history.h"
#include "report/report.h"

#include <string>
#include <vector>

// What the command line asks for.
struct CommandLine {
    enum class Mode { Windows, Report, History, Help, Error };
    Mode mode = Mode::Windows;
    ReportRequest request;
    HistoryRequest history;
    // Why the command line is wrong (Mode::Error).
    std::string error;
};

// Reads the arguments after the program's name. Without --report, --history
// or --help
// the program opens its windows (the arguments are left to Qt).
CommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// The text --help prints.
extern const char kCommandLineHelp[];
