#include <gtest/gtest.h>

#include <QApplication>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

// Suites that show the window need a widget application around their tests.
int main(int argc, char** argv) {
    // Also when the runner lists the tests, outside the tests' own environment.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    // The window's settings and the campaigns' history go to a folder of this run, not the
    // user's own, nor one that suites running beside it share.
    const QTemporaryDir folder;
    qputenv("XDG_DATA_HOME", folder.path().toUtf8());
    QApplication application(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, folder.path());
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
