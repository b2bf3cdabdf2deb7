#include "widgets/windowjobs.h"

#include "feedback/prompter.h"
#include "resources/dialogtemplate.h"
#include "resources/menus.h"
#include "widgets/progresswindow.h"

#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QWheelEvent>

namespace {

// Holds keyboard input while a long operation runs: key presses are counted
// and consumed, mouse input to the busy window is dropped but for opening
// its menus and their Show Console.
class BusyInputFilter : public QObject {
public:
    explicit BusyInputFilter(QWidget* window) : m_window(window) {}
    int keys = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
        case QEvent::KeyPress:
            ++keys;
            return true;
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
            return true;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel: {
            auto* widget = qobject_cast<QWidget*>(watched);
            if (widget == nullptr)
                return false;
            // The menus open, but of their commands only Show Console runs:
            // an editor may want to watch a long run.
            const QAction* action = nullptr;
            if (auto* bar = qobject_cast<QMenuBar*>(widget))
                action = bar->actionAt(mousePosition(event));
            else if (auto* menu = qobject_cast<QMenu*>(widget))
                action = menu->actionAt(mousePosition(event));
            else
                return widget->window() == m_window;
            return action != nullptr && action->menu() == nullptr &&
                   action->data().toInt() != res::ID_SHOW_CONSOLE;
        }
        default:
            return false;
        }
    }

private:
    static QPoint mousePosition(const QEvent* event) {
        if (event->type() == QEvent::Wheel)
            return static_cast<const QWheelEvent*>(event)->position().toPoint();
        return static_cast<const QMouseEvent*>(event)->position().toPoint();
    }

    QWidget* m_window;
};

} // namespace

WindowJobs::WindowJobs(QWidget& window, Prompter& prompter, std::function<void(bool)> setBusy)
    : m_window(window), m_prompter(prompter), m_setBusy(std::move(setBusy)) {}

bool WindowJobs::CheckCancel() {
    BusyInputFilter filter(&m_window);
    qApp->installEventFilter(&filter);
    QCoreApplication::processEvents();
    qApp->removeEventFilter(&filter);
    for (int i = 0; i < filter.keys; ++i) {
        if (m_prompter.ask({"Do you want to cancel current task?",
                            "Orrin",
                            MsgButtons::YesNo,
                            MsgIcon::Question,
                            {}}) == MsgAnswer::Yes)
            return true;
    }
    return false;
}

std::unique_ptr<Progress> WindowJobs::StartProgress(const std::string& caption) {
    std::unique_ptr<ProgressWindow> window = ProgressWindow::Start(&m_window, res::IDD_PROGRESS);
    if (window != nullptr && !caption.empty())
        window->SetText(caption);
    return window;
}

void WindowJobs::SetBusy(bool busy) {
    if (m_setBusy)
        m_setBusy(busy);
}

void WindowJobs::HandleWaiting() {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}
