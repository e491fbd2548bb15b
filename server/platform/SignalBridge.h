// SIGTERM and SIGINT as a Qt signal on the event loop, so that the core can stop in order. The
// handler only writes the signal's number into a pipe, which a QSocketNotifier reads on the
// thread that made the bridge. The first of the two signals also gives both back their default
// action: a second one while the server stops ends the process at once, by that signal, which a
// shell or service manager can tell from a clean end.
//
// Interface: make one bridge early, on the user-interface thread, and connect
// TerminationRequested(signalNumber); it is emitted once. IsInstalled() is false when the pipe
// could not be made or another bridge is alive (the handlers belong to the process). The
// destructor puts the previous actions back.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <csignal>

class SignalBridge : public QObject {
    Q_OBJECT

public:
    explicit SignalBridge(QObject* parent = nullptr);
    ~SignalBridge() override;

    bool IsInstalled() const { return readFd_ >= 0; }

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
