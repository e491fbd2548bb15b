// The players banned from the server, kept across runs in tarnwick/bans.
//
// The file is text: the line "# tarnwick bans 1", then one ban a line, four fields separated by
// tabs:  NAME  UNTIL  BY  REASON. UNTIL is when the ban ends, in seconds since 1970 UTC, or 0 for
// good; NAME is the player's name as the engine reports it (bytes), BY who banned, REASON why.
// In NAME, BY and REASON a backslash is written \\ and a control byte (below 32, or 127) as \xHH,
// so a field never holds a tab or a line break. The file is written whole through a temporary
// file renamed over the old one, readable by its owner only. A file that is not exactly this (or
// holds more than kMaxEntries bans, or longer fields than a ban may have) is refused whole and
// left as it is: the list is then empty, and takes no change until the file is mended or removed.
#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct BanEntry {
    std::string name;
    int64_t until = 0;  // seconds since 1970 UTC; 0: for good
    std::string by;
    std::string reason;
};

class BanList {
public:
    static constexpr const char* kDefaultPath = "tarnwick/bans";
    static constexpr std::size_t kMaxEntries = 1000;
    static constexpr std::size_t kMaxNameBytes = 64;  // a name as shown may take two bytes a letter
    static constexpr std::size_t kMaxReasonBytes = 200;
    static constexpr std::size_t kMaxByBytes = 200;
    static constexpr int64_t kMaxMinutes = 10 * 366 * 24 * 60;  // ten years
    // Every field escaped at its worst, with room to spare.
    static constexpr qint64 kMaxFileBytes = 2 * 1024 * 1024;

    explicit BanList(QString path = QString::fromLatin1(kDefaultPath)) : path_(std::move(path)) {}

    // Reads the file; a missing one is an empty list. Answers why the file was refused, or empty.
    std::string Load();
    bool IsDamaged() const { return damaged_; }
    const QString& Path() const { return path_; }
    const std::vector<BanEntry>& Entries() const { return entries_; }

    // The ban in force at `now` on a player of that name. Names that show alike (by the byte
    // text rule) are one name, in either case of ASCII letters.
    const BanEntry* Find(std::string_view name, int64_t now) const;
    // Adds the ban, or replaces the one on the same name, and writes the file. Answers why it
    // could not (then nothing changed), or empty.
    std::string Put(BanEntry entry);
    // Lifts the ban on that name; `found` says whether there was one.
    std::string Remove(std::string_view name, bool& found);
    // Lifts the bans that ended by `now`, and answers them.
    std::vector<BanEntry> TakeExpired(int64_t now, std::string& problem);

    // Why an operator's name or reason cannot make a ban, or empty.
    static std::string CheckName(std::string_view name);
    static std::string CheckReason(std::string_view reason);
    static bool SameName(std::string_view a, std::string_view b);

    static std::string FileText(const std::vector<BanEntry>& entries);
    // The bans a file's text holds, or nothing with `problem` saying which line is wrong and why.
    static std::optional<std::vector<BanEntry>> Parse(std::string_view text, std::string& problem);

private:
    std::string Write(std::vector<BanEntry> entries);

    QString path_;
    std::vector<BanEntry> entries_;
    bool damaged_ = false;
};
