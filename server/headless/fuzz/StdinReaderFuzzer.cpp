// libFuzzer target: the headless server's standard input reader on a real pipe, fed any bytes in
// chunks of any sizes (the first four bytes of an input seed the cut). What it emits must be
// what the line rules say of the whole stream, however it arrived: each line without its LF and
// one CR before it; a line over 4096 bytes refused once, at once; a line holding a NUL refused;
// a last line without its LF still a line; then the end, once.
#include <fcntl.h>
#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <QCoreApplication>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "StdinCommandReader.h"

namespace {

void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "standard input reader fuzzer: %s\n", what);
        std::abort();
    }
}

constexpr const char* kRefused = "\x01refused";
constexpr const char* kEnded = "\x01ended";

// The rules, applied to the whole stream at once.
std::vector<std::string> Expected(std::string_view stream) {
    std::vector<std::string> events;
    while (!stream.empty()) {
        const std::size_t end = stream.find('\n');
        std::string_view line = stream.substr(0, end);
        if (line.size() > static_cast<std::size_t>(StdinCommandReader::kMaxLineBytes)) {
            events.emplace_back(kRefused);
        } else {
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            events.emplace_back(line.find('\0') == std::string_view::npos ? std::string(line)
                                                                          : kRefused);
        }
        if (end == std::string_view::npos) break;
        stream.remove_prefix(end + 1);
    }
    events.emplace_back(kEnded);
    return events;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    static int argc = 1;
    static char name[] = "stdin_reader_fuzzer";
    static char* argv[] = {name, nullptr};
    new QCoreApplication(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    std::minstd_rand cuts(input.ConsumeIntegral<uint32_t>());
    const std::string stream = input.ConsumeRemainingBytesAsString();

    int fds[2];
    Check(::pipe2(fds, O_CLOEXEC) == 0, "no pipe");
    ::fcntl(fds[1], F_SETFL, O_NONBLOCK);
    std::vector<std::string> events;
    bool ended = false;
    {
        StdinCommandReader reader(fds[0]);
        QObject::connect(&reader, &StdinCommandReader::LineRead, [&](const QByteArray& line) {
            Check(!ended, "a line after the end");
            Check(line.size() <= StdinCommandReader::kMaxLineBytes, "a line over the limit");
            events.push_back(line.toStdString());
        });
        QObject::connect(&reader, &StdinCommandReader::LineRefused, [&](const QString&) {
            Check(!ended, "a refusal after the end");
            events.emplace_back(kRefused);
        });
        QObject::connect(&reader, &StdinCommandReader::InputEnded, [&] {
            Check(!ended, "a second end");
            events.emplace_back(kEnded);
            ended = true;
        });
        QObject::connect(&reader, &StdinCommandReader::ReadFailed,
                         [&](const QString&) { Check(false, "a read error on a pipe"); });
        reader.Start();

        // Written in pieces of 1 to 8192 bytes; a full pipe is drained by the reader meanwhile.
        std::size_t written = 0;
        while (written < stream.size()) {
            const std::size_t piece =
                std::min<std::size_t>(cuts() % 8192 + 1, stream.size() - written);
            const ssize_t n = ::write(fds[1], stream.data() + written, piece);
            if (n > 0) written += static_cast<std::size_t>(n);
            QCoreApplication::processEvents();
        }
        ::close(fds[1]);
        while (!ended) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        Check(!reader.IsReading(), "still reading after the end");
    }
    ::close(fds[0]);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    Check(events == Expected(stream), "the lines differ from what the rules say of the stream");
    return 0;
}
