#include "PlayerSort.h"

#include <charconv>

#include "PlayerTable.h"

namespace {

std::optional<int64_t> Integer(std::string_view text) {
    int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty()) return {};
    return value;
}

// "1d:01h:01m:01s", "01h:00m:00s", "00m:59s", "-1m:-5s": each part a signed count and its unit.
std::optional<int64_t> SpanSeconds(std::string_view text) {
    if (text.empty()) return {};
    int64_t total = 0;
    while (!text.empty()) {
        const std::size_t colon = text.find(':');
        std::string_view part = text.substr(0, colon);
        text = colon == std::string_view::npos ? std::string_view() : text.substr(colon + 1);
        if (colon != std::string_view::npos && text.empty()) return {};
        if (part.size() < 2) return {};
        int64_t unit = 0;
        switch (part.back()) {
            case 'd':
                unit = 86400;
                break;
            case 'h':
                unit = 3600;
                break;
            case 'm':
                unit = 60;
                break;
            case 's':
                unit = 1;
                break;
            default:
                return {};
        }
        part.remove_suffix(1);
        const std::optional<int64_t> count = Integer(part);
        if (!count || *count > 1'000'000'000 || *count < -1'000'000'000) return {};
        total += *count * unit;
    }
    return total;
}

}  // namespace

PlayerSortState PlayerSortState::Clicked(int section) const {
    if (section != column) return {section, false};
    if (!descending) return {section, true};
    return {};
}

bool IsNumericPlayerColumn(int column) {
    return column == IdColumn || column == PingColumn || column == TimeColumn;
}

std::optional<int64_t> NumericSortKey(int column, std::string_view text) {
    if (column == TimeColumn) return SpanSeconds(text);
    if (IsNumericPlayerColumn(column)) return Integer(text);
    return {};
}

int ComparePlayerCells(int column, const QString& textA, std::optional<int64_t> keyA,
                       const QString& textB, std::optional<int64_t> keyB) {
    if (!IsNumericPlayerColumn(column)) return QString::compare(textA, textB, Qt::CaseInsensitive);
    if (keyA && keyB) return *keyA < *keyB ? -1 : *keyA > *keyB ? 1 : 0;
    return keyA ? 1 : keyB ? -1 : 0;
}
