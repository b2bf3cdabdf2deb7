#pragma once
// The context a window gives its long jobs: a progress window over it, the
// cancel question when keys were pressed, its controls greyed while a job
// works, and its painting kept up between two items.

#include "feedback/jobcontext.h"

#include <functional>

class Prompter;
class QWidget;

class WindowJobs final : public JobContext {
public:
    // setBusy greys the window's load and scan controls, and back.
    WindowJobs(QWidget& window, Prompter& prompter, std::function<void(bool busy)> setBusy);

    // Handles what waits for the window, counting the keys pressed: each
    // asks "Do you want to cancel current task?" until one is answered Yes.
    // Mouse input to the window is dropped, but its menus open and Show
    // Console runs.
    bool CheckCancel() override;
    std::unique_ptr<Progress> StartProgress(const std::string& caption) override;
    void SetBusy(bool busy) override;
    // Keeps the window painted between two items; what the user types is
    // left for the cancel question.
    void HandleWaiting() override;

private:
    QWidget& m_window;
    Prompter& m_prompter;
    std::function<void(bool)> m_setBusy;
};
