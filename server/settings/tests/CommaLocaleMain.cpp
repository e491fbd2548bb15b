#include <gtest/gtest.h>

#include <QCoreApplication>

// The application object sets the C library's locale from the environment, as in the program.
int main(int argc, char* argv[]) {
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
