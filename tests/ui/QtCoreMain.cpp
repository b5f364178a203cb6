#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTemporaryDir>

// The table model queues rows through the Qt event loop, so these suites need an application.
int main(int argc, char** argv) {
    // Nothing may reach the user's own campaign history.
    const QTemporaryDir folder;
    qputenv("XDG_DATA_HOME", folder.path().toUtf8());
    QCoreApplication application(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
