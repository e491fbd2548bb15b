#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <QTemporaryFile>
#include <string>
#include <string_view>
#include <vector>

#include "EventLoop.h"
#include "StdinCommandReader.h"

namespace {

// What a reader emitted, in order: lines as they are, refusals as "refused", "end", "failed".
struct Recorder {
    std::vector<std::string> events;
    bool ended = false;

    explicit Recorder(StdinCommandReader& reader) {
        QObject::connect(&reader, &StdinCommandReader::LineRead,
                         [this](const QByteArray& line) { events.push_back(line.toStdString()); });
        QObject::connect(&reader, &StdinCommandReader::LineRefused,
                         [this](const QString&) { events.push_back("refused"); });
        QObject::connect(&reader, &StdinCommandReader::InputEnded, [this] {
            events.push_back("end");
            ended = true;
        });
        QObject::connect(&reader, &StdinCommandReader::ReadFailed, [this](const QString&) {
            events.push_back("failed");
            ended = true;
        });
    }
};

class Pipe {
public:
    Pipe() {
        EXPECT_EQ(::pipe2(fds, O_CLOEXEC), 0);
        ::fcntl(fds[1], F_SETFL, O_NONBLOCK);
    }
    ~Pipe() {
        CloseWriteEnd();
        ::close(fds[0]);
    }
    int ReadEnd() const { return fds[0]; }
    // Lets the reader drain the pipe whenever it is full.
    void Write(std::string_view bytes) {
        while (!bytes.empty()) {
            const ssize_t count = ::write(fds[1], bytes.data(), bytes.size());
            if (count > 0) bytes.remove_prefix(std::size_t(count));
            QCoreApplication::processEvents();
        }
    }
    void CloseWriteEnd() {
        if (fds[1] >= 0) ::close(fds[1]);
        fds[1] = -1;
    }

private:
    int fds[2] = {-1, -1};
};

using Events = std::vector<std::string>;

// Everything a reader of `fd` emits until it ends.
Events ReadToTheEnd(int fd) {
    StdinCommandReader reader{fd};
    Recorder recorder{reader};
    reader.Start();
    EXPECT_TRUE(RunEventsUntil([&] { return recorder.ended; }));
    EXPECT_FALSE(reader.IsReading());
    return recorder.events;
}

TEST(StdinCommandReaderTest, SplitsOnLineFeedsDropsOneCarriageReturnRefusesLongAndNulLines) {
    Pipe pipe;
    StdinCommandReader reader{pipe.ReadEnd()};
    Recorder recorder{reader};
    reader.Start();
    pipe.Write("status\r\n\nsay a\r\r\nsay ");
    ASSERT_TRUE(RunEventsUntil([&] { return recorder.events.size() == 3; }));
    const std::string longest(StdinCommandReader::kMaxLineBytes, 'a');
    pipe.Write("b\n" + longest + "\n" + longest);
    ASSERT_TRUE(RunEventsUntil([&] { return recorder.events.size() == 5; }));
    pipe.Write("b");  // one byte over: refused at once, the rest never buffered
    ASSERT_TRUE(RunEventsUntil([&] { return recorder.events.size() == 6; }));
    pipe.Write(std::string(100000, 'c'));
    pipe.Write("c\nnext\nnul" + std::string(1, '\0') + "\nafter\nlast");  // no line feed last
    pipe.CloseWriteEnd();
    ASSERT_TRUE(RunEventsUntil([&] { return recorder.ended; }));
    RunEventsUntil([] { return false; }, 50);
    EXPECT_EQ(recorder.events, (Events{"status", "", "say a\r", "say b", longest, "refused", "next",
                                       "refused", "after", "last", "end"}));
    EXPECT_FALSE(reader.IsReading());
}

TEST(StdinCommandReaderTest, ReadsATerminalAFileAndDevNullAndPutsTheFlagsBack) {
    int master = -1, slave = -1;
    ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    const int slaveFlags = ::fcntl(slave, F_GETFL);
    {
        StdinCommandReader reader{slave};
        Recorder recorder{reader};
        reader.Start();
        ASSERT_EQ(::write(master, "status\n\x04", 8), 8);  // Ctrl+D at a line's start ends input
        ASSERT_TRUE(RunEventsUntil([&] { return recorder.ended; }));
        EXPECT_EQ(recorder.events, (Events{"status", "end"}));
    }
    EXPECT_EQ(::fcntl(slave, F_GETFL), slaveFlags);
    ::close(master);
    ::close(slave);

    QTemporaryFile file;
    ASSERT_TRUE(file.open());
    file.write("kick 3\nquit\n");
    file.flush();
    const int fileFd = ::open(file.fileName().toLocal8Bit().constData(), O_RDONLY | O_CLOEXEC);
    EXPECT_EQ(ReadToTheEnd(fileFd), (Events{"kick 3", "quit", "end"}));
    ::close(fileFd);
    const int null = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    EXPECT_EQ(ReadToTheEnd(null), (Events{"end"}));
    ::close(null);
}

TEST(StdinCommandReaderTest, AReadErrorOrAClosedDescriptorEndsReadingWithANotice) {
    const int writeOnly = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    EXPECT_EQ(ReadToTheEnd(writeOnly), (Events{"failed"}));
    ::close(writeOnly);

    StdinCommandReader closed{writeOnly};
    Recorder closedRecorder{closed};
    closed.Start();
    EXPECT_EQ(closedRecorder.events, (Events{"failed"}));
}

// In a session of its own with a terminal, a reader in a background group of it must wait, not
// be stopped, and read once its group is brought to the foreground; ends with status 0 if so.
[[noreturn]] void ReadFromTheBackgroundOfATerminal() {
    int master = -1, slave = -1;
    if (::setsid() < 0 || ::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0 ||
        ::ioctl(slave, TIOCSCTTY, 0) != 0)
        std::_Exit(10);
    const pid_t job = ::fork();
    if (job == 0) {
        ::setpgid(0, 0);  // a background job of that terminal
        StdinCommandReader reader{slave};
        Recorder recorder{reader};
        reader.Start();
        if (::write(master, "status\n", 7) != 7) std::_Exit(11);
        RunEventsUntil([] { return false; }, 2 * StdinCommandReader::kBackgroundRetryMs);
        if (!recorder.events.empty()) std::_Exit(12);
        std::signal(SIGTTOU, SIG_IGN);
        ::tcsetpgrp(slave, ::getpgrp());  // brought to the foreground
        const bool read = RunEventsUntil([&] { return !recorder.events.empty(); }, 3000);
        std::_Exit(read && recorder.events == Events{"status"} ? 0 : 13);
    }
    int status = 0;
    ::waitpid(job, &status, WUNTRACED);
    if (WIFSTOPPED(status)) {
        ::kill(job, SIGKILL);
        std::_Exit(14);
    }
    std::_Exit(WIFEXITED(status) ? WEXITSTATUS(status) : 15);
}

TEST(StdinCommandReaderDeathTest, WaitsInTheBackgroundOfItsTerminalInsteadOfBeingStopped) {
    EXPECT_EXIT(ReadFromTheBackgroundOfATerminal(), testing::ExitedWithCode(0), "");
}

}  // namespace
