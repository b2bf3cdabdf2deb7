#include "app/application.h"

#include "app/mainwindow.h"
#include "feedback/log.h"
#include "feedback/orrinconsole.h"
#include "feedback/prompter.h"
#include "resources/dialogtemplate.h"
#include "resources/stringtable.h"

#include <QApplication>

Application::Application() = default;

Application::~Application() {
    StopConsole();
}

void Application::StartConsole(int templateId) {
    g_consoleEnabled = 1;
    m_console = std::make_unique<OrrinConsole>();
    g_console = m_console.get();
    if (!m_console->Create(templateId)) {
        CurrentPrompter().messageBox(nullptr, "Error creating Console", "", MsgButtons::Ok,
                                     MsgIcon::None);
        g_console = nullptr;
        g_consoleEnabled = 0;
        m_console.reset();
        return;
    }
    m_console->hide();
    LogResource(res::IDS_PRODUCT);
    LogResource(res::IDS_VERSION);
    LogResource(res::IDS_SEPARATOR);
    LogResource(res::IDS_AUTHOR);
    LogResource(res::IDS_SEPARATOR);
}

void Application::StopConsole() {
    if (g_console == m_console.get())
        g_console = nullptr;
    m_console.reset();
}

int Application::Run() {
    MainWindow window;
    StartConsole(res::IDD_CONSOLE);
    if (window.Initialise())
        window.exec();
    StopConsole();
    return 0;
}
