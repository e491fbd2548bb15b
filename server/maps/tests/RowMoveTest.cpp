#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "RowMove.h"

namespace {

using Rows = std::vector<std::string>;

Rows Moved(int dragRow, std::optional<int> dropRow) {
    Rows rows{"a", "b", "c", "d"};
    if (auto move = PlanRowMove(dragRow, dropRow, static_cast<int>(rows.size())))
        ApplyRowMove(rows, *move);
    return rows;
}

TEST(RowMove, MovedRowTakesTheDropRowsFormerIndex) {
    EXPECT_EQ(Moved(0, 2), (Rows{"b", "c", "a", "d"}));  // downward: just after the drop row
    EXPECT_EQ(Moved(3, 1), (Rows{"a", "d", "b", "c"}));  // upward: just before it
    EXPECT_EQ(Moved(0, 3), (Rows{"b", "c", "d", "a"}));
    EXPECT_EQ(Moved(3, 0), (Rows{"d", "a", "b", "c"}));
}

TEST(RowMove, DropsThatChangeNothing) {
    EXPECT_EQ(Moved(1, 1), (Rows{"a", "b", "c", "d"}));
    EXPECT_EQ(Moved(1, std::nullopt), (Rows{"a", "b", "c", "d"}));
    // Rows outside the list are never touched.
    EXPECT_FALSE(PlanRowMove(0, 4, 4));
    EXPECT_FALSE(PlanRowMove(-1, 0, 4));
}

}  // namespace
