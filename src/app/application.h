#pragma once
// Start-up and end of the program: the debug console with its banner, then
// the program's windows, then the console's destruction.

#include "app/services.h"

#include <memory>

class DebugConsole;

// Logs the string-table text with that id, when it is not empty.
void LogResource(int id);

class Application {
public:
    explicit Application(Services& services);
    ~Application();

    // Creates the console hidden, subscribes it to the log and writes the
    // banner. When the console cannot be created the user is told and
    // logging stays off for the whole run. templateId lets tests make
    // creation fail.
    void StartConsole(int templateId);
    // Destroys the console; logging calls do nothing afterwards.
    void StopConsole();

    // The whole run: returns the process exit code.
    int Run();

private:
    Services& m_services;
    std::unique_ptr<DebugConsole> m_console;
};
