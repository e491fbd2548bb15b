// SIGTERM and SIGINT as a Qt signal on the event loop, so that the program can stop in order. The
// handler writes the stop line ("stopping on SIGTERM") at once, then the signal's number into a
// pipe, which a QSocketNotifier reads on the thread that made the bridge. The first of the two
// signals also gives both back their default action: a second one while the program stops ends
// the process at once, by that signal, which a shell or service manager can tell from a clean
// end. The stop line is written before the second signal takes effect, whichever thread it
// reaches, so it is always the first thing said of the stop.
//
// Interface: make one bridge early, on the user-interface thread, and connect
// TerminationRequested(signalNumber); it is emitted once. IsInstalled() is false when the pipe
// could not be made or another bridge is alive (the handlers belong to the process). The
// destructor puts the previous actions back.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <csignal>
#include <functional>
#include <string>

class SignalBridge : public QObject {
    Q_OBJECT

public:
    // How a front end writes a stop line: the text before the time, the text after it, and
    // whether a UTC time (UtcTime.h) goes between them at all.
    struct StopLine {
        std::string before;
        std::string after;
        bool timed = false;
    };
    using StopLineFormat = std::function<StopLine(const std::string& text)>;

    // Without a format or a descriptor, no stop line is written.
    explicit SignalBridge(int lineFd = -1, const StopLineFormat& format = {},
                          QObject* parent = nullptr);
    ~SignalBridge() override;

    bool IsInstalled() const { return readFd_ >= 0; }

    // "stopping on SIGTERM", "stopping on SIGINT".
    static std::string StopText(int signalNumber);

signals:
    void TerminationRequested(int signalNumber);

private:
    void ReadPipe();

    int readFd_ = -1;
    int writeFd_ = -1;
    bool emitted_ = false;
    struct sigaction previousTerm_ {};
    struct sigaction previousInt_ {};
    QSocketNotifier* notifier_ = nullptr;
};
