#include "ConsoleSearch.h"

#include <algorithm>

std::vector<TextMatch> ConsoleSearch::FindAll(QStringView text, QStringView needle,
                                              std::size_t limit, qsizetype* total) {
    std::vector<TextMatch> matches;
    qsizetype count = 0;
    if (!needle.isEmpty()) {
        for (qsizetype at = text.indexOf(needle, 0, Qt::CaseInsensitive); at >= 0;
             at = text.indexOf(needle, at + needle.size(), Qt::CaseInsensitive)) {
            if (matches.size() < limit) matches.push_back({at, needle.size()});
            ++count;
        }
    }
    if (total) *total = count;
    return matches;
}

SearchStep ConsoleSearch::Next(QStringView text, QStringView needle, qsizetype from) {
    if (needle.isEmpty()) return {};
    from = std::clamp<qsizetype>(from, 0, text.size());
    qsizetype at = text.indexOf(needle, from, Qt::CaseInsensitive);
    if (at >= 0) return {TextMatch{at, needle.size()}, false};
    at = text.indexOf(needle, 0, Qt::CaseInsensitive);
    if (at >= 0) return {TextMatch{at, needle.size()}, true};
    return {};
}

SearchStep ConsoleSearch::Previous(QStringView text, QStringView needle, qsizetype before) {
    if (needle.isEmpty() || needle.size() > text.size()) return {};
    before = std::clamp<qsizetype>(before, 0, text.size());
    if (before > 0) {
        const qsizetype at = text.lastIndexOf(needle, before - 1, Qt::CaseInsensitive);
        if (at >= 0) return {TextMatch{at, needle.size()}, false};
    }
    const qsizetype at = text.lastIndexOf(needle, text.size() - needle.size(), Qt::CaseInsensitive);
    if (at >= 0) return {TextMatch{at, needle.size()}, true};
    return {};
}
