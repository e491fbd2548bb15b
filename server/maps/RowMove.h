// Where a dragged row of a reorderable list lands: it is taken out and put back at the index the
// drop row had before, so dragged downward it lands just after the drop row, upward just before.
#pragma once

#include <optional>

struct RowMove {
    int from;
    int to;
};

// Nothing to do without a drop row, when it is the dragged row itself, or when either index lies
// outside a list of rowCount rows.
inline std::optional<RowMove> PlanRowMove(int dragRow, std::optional<int> dropRow, int rowCount) {
    if (!dropRow || *dropRow == dragRow) return std::nullopt;
    if (dragRow < 0 || dragRow >= rowCount || *dropRow < 0 || *dropRow >= rowCount)
        return std::nullopt;
    return RowMove{dragRow, *dropRow};
}
