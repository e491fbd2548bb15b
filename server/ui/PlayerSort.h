// How the player list orders its rows when the operator sorts by a column. Numbers sort by value
// (the ID and the ping as written, the time as the seconds it shows), texts without regard to
// case, and ties keep the roster's order in either direction, so rows never swap at random.
#pragma once

#include <QString>
#include <cstdint>
#include <optional>
#include <string_view>

// A header click: the first sorts ascending, the second descending, the third goes back to the
// roster's own order.
struct PlayerSortState {
    int column = -1;  // -1: the roster's order
    bool descending = false;

    PlayerSortState Clicked(int section) const;
    bool operator==(const PlayerSortState&) const = default;
};

bool IsNumericPlayerColumn(int column);

// The number a numeric column's cell shows; none for an empty cell or a text that is no number
// (such cells sort before every number).
std::optional<int64_t> NumericSortKey(int column, std::string_view text);

// Negative, zero or positive as cell a sorts before, with or after cell b, ascending.
int ComparePlayerCells(int column, const QString& textA, std::optional<int64_t> keyA,
                       const QString& textB, std::optional<int64_t> keyB);
