#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <string>

#include "ByteText.h"
#include "HeadlessOptions.h"
#include "LogFormatter.h"

namespace {

HeadlessCommandLine Parse(QStringList arguments) {
    arguments.prepend(QStringLiteral("server"));
    return ParseHeadlessCommandLine(arguments);
}

TEST(HeadlessOptionsTest, HeadlessIsRequestedByTheExactSwitchAnywhereAfterTheProgramName) {
    const char* withIt[] = {"server", "-s", "--headless"};
    const char* withValue[] = {"server", "--headless=yes"};  // refused later, not a window
    const char* without[] = {"--headless", "-s", "--headlessly"};
    EXPECT_TRUE(HeadlessRequested(3, withIt));
    EXPECT_TRUE(HeadlessRequested(2, withValue));
    EXPECT_FALSE(HeadlessRequested(3, without));
}

TEST(HeadlessOptionsTest, ReadsTheLogFormatInBothSpellingsTheLastOneWinning) {
    EXPECT_EQ(Parse({"--headless"}).options.logFormat, LogFormat::Text);
    EXPECT_EQ(Parse({"--headless", "--log-format", "json"}).options.logFormat, LogFormat::Json);
    EXPECT_EQ(Parse({"-S", "--log-format=JSON", "--headless"}).options.logFormat, LogFormat::Json);
    const HeadlessCommandLine last = Parse({"--log-format=json", "--log-format", "text"});
    EXPECT_EQ(last.action, HeadlessCommandLine::Action::Run);
    EXPECT_EQ(last.options.logFormat, LogFormat::Text);
}

TEST(HeadlessOptionsTest, RefusesWithOneLineNamingTheArgumentAndTheHelpHintUnlessHelpComesFirst) {
    EXPECT_EQ(Parse({"--headless", "-h", "--bogus"}).action,
              HeadlessCommandLine::Action::ShowUsage);
    EXPECT_EQ(Parse({"--bogus", "--help"}).action, HeadlessCommandLine::Action::Refuse);
    const struct {
        QStringList arguments;
        const char* named;
    } cases[] = {
        {{"--headless", "--bogus"}, "'--bogus'"},
        {{"--headless", "-x"}, "'-x'"},
        {{"--headless", "world1"}, "'world1'"},
        {{"--log-format", "xml"}, "'xml'"},
        {{"--log-format="}, "''"},
        {{"--log-format"}, "--log-format"},
        {{"--headless=1"}, "--headless"},
    };
    for (const auto& c : cases) {
        const HeadlessCommandLine result = Parse(c.arguments);
        EXPECT_EQ(result.action, HeadlessCommandLine::Action::Refuse) << c.named;
        EXPECT_TRUE(result.error.contains(QLatin1String(c.named))) << result.error.toStdString();
        EXPECT_TRUE(result.error.endsWith(QLatin1String("(see server --help)")));
        EXPECT_FALSE(result.error.contains(QLatin1Char('\n')));
    }
    // An odd argument is quoted short and on one line.
    const QString error =
        Parse({QStringLiteral("--x\n\x1b[2J") + QString(5000, QLatin1Char('a'))}).error;
    EXPECT_FALSE(error.contains(QLatin1Char('\n')));
    EXPECT_FALSE(error.contains(QChar(0x1b)));
    EXPECT_LT(error.size(), 200);
}

// tarnwickd takes the same options, --headless too (ignored), and names itself.
TEST(HeadlessOptionsTest, TheDaemonReadsTheSameOptionsAndNamesItselfInItsAnswers) {
    const auto parse = [](QStringList arguments) {
        arguments.prepend(QStringLiteral("tarnwickd"));
        return ParseHeadlessCommandLine(arguments, HeadlessProgram::Daemon);
    };
    const HeadlessCommandLine run = parse({"--headless", "--log-format", "json", "-s"});
    EXPECT_EQ(run.action, HeadlessCommandLine::Action::Run);
    EXPECT_EQ(run.options.logFormat, LogFormat::Json);
    EXPECT_EQ(run.options.program, HeadlessProgram::Daemon);
    EXPECT_EQ(parse({"--version", "--bogus"}).action, HeadlessCommandLine::Action::ShowVersion);
    EXPECT_EQ(Parse({"--headless", "--version"}).action, HeadlessCommandLine::Action::ShowVersion);
    EXPECT_EQ(parse({"--bogus"}).error,
              QStringLiteral("tarnwickd: unknown option '--bogus' (see tarnwickd --help)"));
    EXPECT_FALSE(HeadlessUsage(HeadlessProgram::Daemon).contains(QLatin1String("--headless")));
    EXPECT_TRUE(HeadlessUsage(HeadlessProgram::Server).contains(QLatin1String("--headless")));
}

using std::chrono::milliseconds;
using Clock = LogFormatter::Clock;

// 2026-12-06T23:51:00.123Z
const Clock::time_point kTime{milliseconds(1796601060123)};

TEST(LogFormatterTest, TimeIsUtcWithMillisecondsCutNotRounded) {
    EXPECT_EQ(LogFormatter::FormatTime(kTime), "2026-12-06T23:51:00.123Z");
    EXPECT_EQ(LogFormatter::FormatTime(Clock::time_point{std::chrono::microseconds(999999)}),
              "1970-01-01T00:00:00.999Z");
    EXPECT_EQ(LogFormatter::FormatTime(Clock::time_point{milliseconds(-1)}),
              "1969-12-31T23:59:59.999Z");
}

TEST(LogFormatterTest, JsonLinesHoldEachEventsFields) {
    const LogFormatter json{LogFormat::Json};
    EXPECT_EQ(json.ConsoleLine(kTime, 12, "Server: hi\n"),
              "{\"time\":\"2026-12-06T23:51:00.123Z\",\"type\":\"console\",\"seq\":12,"
              "\"text\":\"Server: hi\"}\n");
    EXPECT_EQ(json.PlayerJoined(kTime, 5, "Quill"),
              "{\"time\":\"2026-12-06T23:51:00.123Z\",\"type\":\"join\",\"id\":5,"
              "\"name\":\"Quill\"}\n");
    EXPECT_EQ(json.PlayerLeft(kTime, -1, ""),
              "{\"time\":\"2026-12-06T23:51:00.123Z\",\"type\":\"leave\",\"id\":-1,"
              "\"name\":\"\"}\n");
    EXPECT_EQ(json.Notice(kTime, LogFormatter::Level::Warning, "input closed"),
              "{\"time\":\"2026-12-06T23:51:00.123Z\",\"type\":\"notice\",\"level\":\"warning\","
              "\"text\":\"input closed\"}\n");
    EXPECT_NE(json.ConsoleLine(kTime, UINT64_MAX, "").find("\"seq\":18446744073709551615,"),
              std::string::npos);
}

// Quotes, backslashes, every kind of control character, Latin-1 and broken UTF-8 bytes, a C1
// control both raw and encoded, a line separator and a NUL.
const std::string kHostile =
    std::string("a\"b\\c\r\nforged\t\x1b[31m\x7f\xe9\x85\xc2\x85\xe2\x80\xa8") +
    std::string(1, '\0') + "\xf0\x9f\x98\x80 end";

TEST(LogFormatterTest, JsonIsValidAndCarriesTheByteTextExactly) {
    const LogFormatter json{LogFormat::Json};
    const std::string line = json.ConsoleLine(kTime, 1, kHostile);
    ASSERT_EQ(line.back(), '\n');
    for (std::size_t i = 0; i + 1 < line.size(); ++i)
        EXPECT_GE(static_cast<unsigned char>(line[i]), 0x20) << "raw control byte at " << i;
    QJsonParseError error;
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray::fromStdString(line.substr(0, line.size() - 1)), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << line;
    EXPECT_EQ(document.object().value(QLatin1String("text")).toString().toStdString(),
              byte_text::ToUtf8(kHostile));
    EXPECT_NE(line.find("\\u001b[31m\\u007f\xc3\xa9\\u0085\\u0085\\u2028\\u0000\xf0\x9f\x98\x80"),
              std::string::npos);
}

TEST(LogFormatterTest, TextLinesCannotBeSplitOrCarryControlCharacters) {
    const LogFormatter text{LogFormat::Text};
    for (const std::string& line :
         {text.ConsoleLine(kTime, 1, kHostile), text.PlayerJoined(kTime, 3, kHostile),
          text.Notice(kTime, LogFormatter::Level::Error, kHostile)}) {
        EXPECT_EQ(line.find('\n'), line.size() - 1);
        for (unsigned char c : line.substr(0, line.size() - 1)) EXPECT_TRUE(c >= 0x20 && c != 0x7f);
        EXPECT_EQ(line.find("\xc2\x85"), std::string::npos);
        EXPECT_EQ(line.find("\xe2\x80\xa8"), std::string::npos);
    }
    EXPECT_EQ(text.ConsoleLine(kTime, 7, "a \"b\"\\ \r\nforged\r\n"),
              "2026-12-06T23:51:00.123Z a \"b\"\\\\ \\r\\nforged\n");
    EXPECT_EQ(text.PlayerLeft(kTime, 5, "Quill"),
              "2026-12-06T23:51:00.123Z player 5 left: Quill\n");
    EXPECT_EQ(text.Notice(kTime, LogFormatter::Level::Info, "started"),
              "2026-12-06T23:51:00.123Z started\n");
}

}  // namespace
