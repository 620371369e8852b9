#include <gtest/gtest.h>

#include <QCoreApplication>

// D-Bus connections want an application object before the first one is made.
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
