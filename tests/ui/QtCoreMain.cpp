#include <gtest/gtest.h>

#include <QCoreApplication>

// The table model queues rows through the Qt event loop, so these suites need an application.
int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
