#include "BanList.h"

#include <algorithm>
#include <charconv>

#include "ByteText.h"
#include "PrivateFile.h"

namespace {

constexpr std::string_view kHeader = "# tarnwick bans 1";

bool IsControl(unsigned char c) {
    return c < 32 || c == 127;
}

void AppendEscaped(std::string& out, std::string_view field) {
    static constexpr char kHex[] = "0123456789abcdef";
    for (const char ch : field) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '\\') {
            out += "\\\\";
        } else if (IsControl(c)) {
            out += {'\\', 'x', kHex[c >> 4], kHex[c & 15]};
        } else {
            out += ch;
        }
    }
}

std::optional<std::string> Unescaped(std::string_view field) {
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        const char c = field[i];
        if (IsControl(static_cast<unsigned char>(c))) return std::nullopt;
        if (c != '\\') {
            out += c;
        } else if (field.substr(i + 1, 1) == "\\") {
            out += c;
            ++i;
        } else {
            unsigned value = 0;
            const std::string_view hex = field.substr(i + 2, 2);
            const auto [end, error] =
                std::from_chars(hex.data(), hex.data() + hex.size(), value, 16);
            if (field.substr(i + 1, 1) != "x" || hex.size() != 2 || error != std::errc() ||
                end != hex.data() + 2 || !IsControl(static_cast<unsigned char>(value)))
                return std::nullopt;
            out += static_cast<char>(value);
            i += 3;
        }
    }
    return out;
}

std::string ShownLowercase(std::string_view name) {
    return byte_text::LowercaseAscii(byte_text::ToUtf8(name));
}

}  // namespace

std::string BanList::CheckName(std::string_view name) {
    const bool control = std::any_of(
        name.begin(), name.end(), [](char c) { return IsControl(static_cast<unsigned char>(c)); });
    if (name.empty() || name.size() > kMaxNameBytes || control)
        return "a ban needs a name of 1 to " + std::to_string(kMaxNameBytes) +
               " bytes without control characters";
    return {};
}

std::string BanList::CheckReason(std::string_view reason) {
    const bool control = std::any_of(reason.begin(), reason.end(), [](char c) {
        return IsControl(static_cast<unsigned char>(c));
    });
    if (reason.size() > kMaxReasonBytes || control)
        return "a reason holds at most " + std::to_string(kMaxReasonBytes) +
               " bytes and no control characters";
    return {};
}

bool BanList::SameName(std::string_view a, std::string_view b) {
    return ShownLowercase(a) == ShownLowercase(b);
}

std::string BanList::FileText(const std::vector<BanEntry>& entries) {
    std::string text(kHeader);
    text += '\n';
    for (const BanEntry& entry : entries) {
        AppendEscaped(text, entry.name);
        text += '\t' + std::to_string(entry.until) + '\t';
        AppendEscaped(text, entry.by);
        text += '\t';
        AppendEscaped(text, entry.reason);
        text += '\n';
    }
    return text;
}

std::optional<std::vector<BanEntry>> BanList::Parse(std::string_view text, std::string& problem) {
    std::vector<BanEntry> entries;
    std::size_t lineNumber = 0;
    const auto wrong = [&](const std::string& why) {
        problem = "line " + std::to_string(lineNumber) + " " + why;
        return std::nullopt;
    };
    while (!text.empty()) {
        ++lineNumber;
        const std::size_t end = text.find('\n');
        if (end == std::string_view::npos) return wrong("does not end with a line break");
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(end + 1);
        if (lineNumber == 1) {
            if (line != kHeader) return wrong("is not \"" + std::string(kHeader) + "\"");
            continue;
        }
        std::string_view fields[4];
        std::string_view rest = line;
        for (int i = 0; i < 3; ++i) {
            const std::size_t tab = rest.find('\t');
            if (tab == std::string_view::npos) return wrong("does not have four fields");
            fields[i] = rest.substr(0, tab);
            rest.remove_prefix(tab + 1);
        }
        if (rest.find('\t') != std::string_view::npos) return wrong("has more than four fields");
        fields[3] = rest;

        BanEntry entry;
        const auto name = Unescaped(fields[0]);
        const auto by = Unescaped(fields[2]);
        const auto reason = Unescaped(fields[3]);
        if (!name || !by || !reason) return wrong("holds a control character or a bad escape");
        const auto [next, error] =
            std::from_chars(fields[1].data(), fields[1].data() + fields[1].size(), entry.until);
        if (fields[1].empty() || error != std::errc() ||
            next != fields[1].data() + fields[1].size() || entry.until < 0)
            return wrong("has no end time (seconds since 1970, or 0)");
        if (name->empty() || name->size() > kMaxNameBytes)
            return wrong("has a name of no or more than " + std::to_string(kMaxNameBytes) +
                         " bytes");
        if (by->size() > kMaxByBytes || reason->size() > kMaxReasonBytes)
            return wrong("has a longer field than a ban may hold");
        if (entries.size() == kMaxEntries)
            return wrong("is more than the " + std::to_string(kMaxEntries) + " bans kept");
        entry.name = *name;
        entry.by = *by;
        entry.reason = *reason;
        entries.push_back(std::move(entry));
    }
    if (lineNumber == 0) {
        lineNumber = 1;
        return wrong("is missing: the file is empty");
    }
    return entries;
}

std::string BanList::Load() {
    entries_.clear();
    damaged_ = false;
    const private_file::ReadResult read = private_file::Read(path_, kMaxFileBytes);
    if (read.missing) return {};
    std::string problem = read.problem;
    if (problem.empty()) {
        const std::string_view text(read.bytes.constData(),
                                    static_cast<std::size_t>(read.bytes.size()));
        if (auto entries = Parse(text, problem)) {
            entries_ = std::move(*entries);
            return {};
        }
        problem = path_.toStdString() + ": " + problem;
    }
    damaged_ = true;
    return problem;
}

const BanEntry* BanList::Find(std::string_view name, int64_t now) const {
    const std::string shown = ShownLowercase(name);
    for (const BanEntry& entry : entries_)
        if ((entry.until == 0 || entry.until > now) && ShownLowercase(entry.name) == shown)
            return &entry;
    return nullptr;
}

std::string BanList::Write(std::vector<BanEntry> entries) {
    if (damaged_)
        return path_.toStdString() + " could not be read; mend or remove it to change the bans";
    const std::string text = FileText(entries);
    std::string problem =
        private_file::Write(path_, QByteArray(text.data(), static_cast<qsizetype>(text.size())));
    if (problem.empty()) entries_ = std::move(entries);
    return problem;
}

std::string BanList::Put(BanEntry entry) {
    std::vector<BanEntry> entries = entries_;
    const auto same = std::find_if(entries.begin(), entries.end(),
                                   [&](const BanEntry& e) { return SameName(e.name, entry.name); });
    if (same != entries.end()) {
        *same = std::move(entry);
    } else {
        if (entries.size() == kMaxEntries)
            return "the ban list holds its most, " + std::to_string(kMaxEntries) + " bans";
        entries.push_back(std::move(entry));
    }
    return Write(std::move(entries));
}

std::string BanList::Remove(std::string_view name, bool& found) {
    std::vector<BanEntry> entries = entries_;
    const auto kept = std::remove_if(entries.begin(), entries.end(),
                                     [&](const BanEntry& e) { return SameName(e.name, name); });
    found = kept != entries.end();
    if (!found) return {};
    entries.erase(kept, entries.end());
    return Write(std::move(entries));
}

std::vector<BanEntry> BanList::TakeExpired(int64_t now, std::string& problem) {
    std::vector<BanEntry> kept, ended;
    for (const BanEntry& entry : entries_)
        (entry.until != 0 && entry.until <= now ? ended : kept).push_back(entry);
    if (ended.empty()) return ended;
    problem = Write(std::move(kept));
    if (!problem.empty()) return {};
    return ended;
}
