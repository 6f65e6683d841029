// Test main for tests of Qt's parts without windows, such as its network
// classes: a QCoreApplication for their events, and no display.

#include <QCoreApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
