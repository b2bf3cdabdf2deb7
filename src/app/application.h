#pragma once
// Start-up and end of the program: the debug console with its banner, then
// the program's windows, then the console's destruction.

#include <memory>

class OrrinConsole;

class Application {
public:
    Application();
    ~Application();

    // Switches logging on, creates the console hidden and writes the banner.
    // When the console cannot be created the user is told and logging stays
    // off for the whole run. templateId lets tests make creation fail.
    void StartConsole(int templateId);
    // Destroys the console; logging calls do nothing afterwards.
    void StopConsole();

    // The whole run: returns the process exit code.
    int Run();

private:
    std::unique_ptr<OrrinConsole> m_console;
};
