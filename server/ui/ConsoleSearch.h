// Finding text in the console: without regard to case, matches never overlapping, and a step to
// the next or previous match that wraps around at either end.
#pragma once

#include <QStringView>
#include <optional>
#include <vector>

struct TextMatch {
    qsizetype start = 0;
    qsizetype length = 0;
    bool operator==(const TextMatch&) const = default;
};

struct SearchStep {
    std::optional<TextMatch> match;  // none: no match anywhere
    bool wrapped = false;            // it came round past an end of the text
};

class ConsoleSearch {
public:
    // The first `limit` matches, first to last, and how many there are in all.
    static std::vector<TextMatch> FindAll(QStringView text, QStringView needle, std::size_t limit,
                                          qsizetype* total = nullptr);
    // The first match that starts at or after `from`; else the first of all.
    static SearchStep Next(QStringView text, QStringView needle, qsizetype from);
    // The last match that starts before `before`; else the last of all.
    static SearchStep Previous(QStringView text, QStringView needle, qsizetype before);
};
