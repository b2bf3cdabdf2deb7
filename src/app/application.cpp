#include "app/application.h"

#include "app/mainwindow.h"
#include "feedback/log.h"
#include "feedback/prompter.h"
#include "resources/dialogtemplate.h"
#include "resources/stringtable.h"
#include "widgets/debugconsole.h"

void LogResource(int id) {
    const char* text = res::LoadResourceString(id);
    if (*text != '\0')
        Log(text);
}

Application::Application(Services& services) : m_services(services) {}

Application::~Application() {
    StopConsole();
}

void Application::StartConsole(int templateId) {
    m_console = std::make_unique<DebugConsole>();
    if (!m_console->Create(templateId)) {
        m_console.reset();
        Tell(m_services.prompter, "Error creating Console", "");
        return;
    }
    m_console->hide();
    SetLogSink(m_console.get());
    m_services.console = m_console.get();
    LogResource(res::IDS_PRODUCT);
    LogResource(res::IDS_VERSION);
    LogResource(res::IDS_SEPARATOR);
    LogResource(res::IDS_AUTHOR);
    LogResource(res::IDS_SEPARATOR);
}

void Application::StopConsole() {
    if (m_console == nullptr)
        return;
    if (CurrentLogSink() == m_console.get())
        SetLogSink(nullptr);
    if (m_services.console == m_console.get())
        m_services.console = nullptr;
    m_console.reset();
}

int Application::Run() {
    MainWindow window(m_services);
    StartConsole(res::IDD_CONSOLE);
    if (window.Initialise())
        window.exec();
    StopConsole();
    return 0;
}
