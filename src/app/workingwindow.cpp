#include "app/workingwindow.h"

#include "resources/dialogtemplate.h"

#include <QCoreApplication>

bool WorkingWindow::Start() {
    if (!CreateFromTemplate(res::IDD_WORKING))
        return false;
    show();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    return true;
}
