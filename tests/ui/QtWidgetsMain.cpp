#include <gtest/gtest.h>

#include <QApplication>
#include <QStandardPaths>

// Suites that show the window need a widget application around their tests.
int main(int argc, char** argv) {
    // Also when the runner lists the tests, outside the tests' own environment.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    // The window's settings go to a folder of the toolkit's tests, not the user's own.
    QStandardPaths::setTestModeEnabled(true);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
