// A test main for tests that run inside a Qt Core event loop, as the programs do.
#include <gtest/gtest.h>

#include <QCoreApplication>

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    QCoreApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
