#include "app/application.h"
#include "widgets/qtprompter.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication qtApp(argc, argv);
    QtPrompter prompter;
    Services services{prompter};
    Application application(services);
    return application.Run();
}
