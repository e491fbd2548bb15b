#include <gtest/gtest.h>

#include "CommandLine.h"

TEST(CommandLine, OnlyAHyphenAndAnSInEitherCaseSkipTheSettingsSheet) {
    for (const char* tail : {"-s", "-S", "-silent", "-sx y"})
        EXPECT_FALSE(ShowSettingsAtStart({"server", tail})) << tail;
    for (const char* tail : {"/s", "s", "", "x -s", "--s"})
        EXPECT_TRUE(ShowSettingsAtStart({"server", tail})) << tail;
    EXPECT_TRUE(ShowSettingsAtStart({"server"}));
}
