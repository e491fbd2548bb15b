#include <gtest/gtest.h>

#include <climits>

#include "FormatConnectedTime.h"

namespace {

TEST(FormatConnectedTimeTest, PicksThePatternByTheLargestNonZeroPart) {
    const struct {
        int32_t span;
        const char* text;
    } table[] = {
        {0, "00m:00s"},
        {59, "00m:59s"},
        {61, "01m:01s"},
        {3599, "59m:59s"},
        {3600, "01h:00m:00s"},
        {86399, "23h:59m:59s"},
        {86400, "1d:00h:00m:00s"},
        {90061, "1d:01h:01m:01s"},
        {864000, "10d:00h:00m:00s"},
        {INT32_MAX, "24855d:03h:14m:07s"},
    };
    for (const auto& row : table) EXPECT_EQ(FormatConnectedTime(row.span), row.text) << row.span;
}

TEST(FormatConnectedTimeTest, NegativeSpansKeepTheirSignsPerPart) {
    EXPECT_EQ(FormatConnectedTime(-5), "00m:-5s");
    EXPECT_EQ(FormatConnectedTime(-65), "-1m:-5s");
    // Below zero only minutes of the hour and seconds are shown.
    EXPECT_EQ(FormatConnectedTime(-3600), "00m:00s");
    EXPECT_EQ(FormatConnectedTime(-90061), "-1m:-1s");
    EXPECT_FALSE(FormatConnectedTime(INT32_MIN).empty());
}

}  // namespace
