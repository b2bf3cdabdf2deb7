#include "app/application.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication qtApp(argc, argv);
    Application application;
    return application.Run();
}
