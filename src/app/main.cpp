#include "app/application.h"
#include "io/csv.h"
#include "io/journal.h"
#include "report/commandline.h"
#include "widgets/qtprompter.h"

#include <QApplication>

#include <iostream>
#include <memory>
#include <unistd.h>

int main(int argc, char* argv[]) {
    const CommandLine line = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    switch (line.mode) {
    case CommandLine::Mode::Help:
        std::cout << kCommandLineHelp;
        return 0;
    case CommandLine::Mode::Error:
        std::cerr << "tolvane: " << TerminalText(line.error) << "\n" << kCommandLineHelp;
        return 2;
    case CommandLine::Mode::Report: {
        // No application object: the report needs no display.
        std::unique_ptr<TerminalProgress> progress;
        if (::isatty(STDERR_FILENO))
            progress = std::make_unique<TerminalProgress>(std::cerr);
        return RunReport(line.request, platform::MountedVolumes(), std::cout, std::cerr,
                         progress.get());
    }
    case CommandLine::Mode::History:
        return RunHistory(line.history, JournalPath(), std::cout, std::cerr);
    case CommandLine::Mode::Windows:
        break;
    }
    QApplication qtApp(argc, argv);
    QtPrompter prompter;
    Services services{prompter};
    Application application(services);
    return application.Run();
}
