// Test entry point: a QApplication on the offscreen platform, so that windows
// can be built and driven without a display.
#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // File operations write their journal here, not into the user's own.
    const QTemporaryDir state;
    qputenv("XDG_STATE_HOME", state.path().toUtf8());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
