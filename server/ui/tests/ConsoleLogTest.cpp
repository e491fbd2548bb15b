#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "ConsoleLog.h"

namespace {

// A text control that counts lines by their line feeds, as the real view does.
class FakeTextControl final : public ConsoleTextControl {
public:
    std::string text;
    int limit = 1 << 30;
    bool redraw = true;
    int deletesWithRedrawOn = 0;
    int deletes = 0;

    int LineCount() const override {
        return 1 + static_cast<int>(std::count(text.begin(), text.end(), '\n'));
    }
    int LineStart(int line) const override {
        std::size_t position = 0;
        for (int i = 0; i < line; ++i) position = text.find('\n', position) + 1;
        return static_cast<int>(position);
    }
    int TextLength() const override { return static_cast<int>(text.size()); }
    int TextLimit() const override { return limit; }
    void SetRedraw(bool enabled) override { redraw = enabled; }
    void DeleteTextBefore(int position) override {
        ++deletes;
        if (redraw) ++deletesWithRedrawOn;
        text.erase(0, static_cast<std::size_t>(position));
    }
    void AppendAtEnd(std::string_view entry) override { text.append(entry); }
};

class ConsoleLogTest : public ::testing::Test {
protected:
    FakeTextControl control;
    ConsoleLog log{control};
};

TEST_F(ConsoleLogTest, TrimsToTheLastQuarterBeforeTheAppendAfter250Lines) {
    for (int i = 0; i < 250; ++i) log.AppendConsoleText("line " + std::to_string(i));
    EXPECT_EQ(control.LineCount(), 251);
    EXPECT_EQ(control.deletes, 0);

    log.AppendConsoleText("new");
    // 251 lines: the first 188 entries go, 62 stay, the new one makes 63.
    EXPECT_EQ(control.LineCount(), 64);
    EXPECT_EQ(control.text.substr(0, 10), "line 188\r\n");
    EXPECT_EQ(control.text.substr(control.text.size() - 5), "new\r\n");
    EXPECT_EQ(control.deletes, 1);
    EXPECT_EQ(control.deletesWithRedrawOn, 0);
    EXPECT_TRUE(control.redraw);
}

TEST_F(ConsoleLogTest, TrimsAgainAtTheTextLimitAndEvenForEmptyText) {
    control.limit = 40;
    for (int i = 0; i < 8; ++i) log.AppendConsoleText("0123456789");  // 12 bytes an entry
    // Four entries reach 48 bytes: the fifth append finds 5 lines and keeps the last 2.
    EXPECT_EQ(control.TextLength(), 24);
    EXPECT_EQ(control.deletes, 2);

    FakeTextControl full;
    full.text.assign(300, '\n');
    ConsoleLog fullLog(full);
    fullLog.AppendConsoleText("");
    EXPECT_EQ(full.LineCount(), 301 - 301 * 75 / 100);
}

TEST_F(ConsoleLogTest, RemovesExactlyOneTrailingControlCharacter) {
    log.AppendConsoleText("engine line\n");
    log.AppendConsoleText("windows line\r\n");
    log.AppendConsoleText("tabbed\t");
    log.AppendConsoleText("caf\xe9");  // a letter above 127 is no control character
    log.AppendConsoleText("\x7f");
    log.AppendConsoleText("\n");  // only a line feed: an empty entry is still added
    EXPECT_EQ(control.text, "engine line\r\nwindows line\r\r\ntabbed\r\ncaf\xe9\r\n\x7f\r\n\r\n");
}

TEST_F(ConsoleLogTest, EmptyTextAddsNothingAndPercentIsLiteral) {
    log.AppendConsoleText("");
    EXPECT_EQ(control.text, "");
    log.AppendConsoleText("100% %s %d %n");
    EXPECT_EQ(control.text, "100% %s %d %n\r\n");
}

TEST_F(ConsoleLogTest, CutsEntriesTo499CharactersBeforeTheControlRule) {
    log.AppendConsoleText(std::string(600, 'a'));
    EXPECT_EQ(control.text, std::string(499, 'a') + "\r\n");
    control.text.clear();
    // The 500th character would be the line feed: it is cut, the 499th letter stays.
    log.AppendConsoleText(std::string(499, 'b') + "\n");
    EXPECT_EQ(control.text, std::string(499, 'b') + "\r\n");
    control.text.clear();
    log.AppendConsoleText(std::string(498, 'c') + "\n");
    EXPECT_EQ(control.text, std::string(498, 'c') + "\r\n");
}

}  // namespace
