// Test entry point of the areas without windows: a core application only, so
// these tests need no display and link no GUI library.
#include <QCoreApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    // File operations write their journal here, not into the user's own.
    const QTemporaryDir state;
    qputenv("XDG_STATE_HOME", state.path().toUtf8());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
