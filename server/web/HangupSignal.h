// SIGHUP as a Qt signal on the event loop: the handler only writes a byte into a pipe, which a
// QSocketNotifier reads on the thread that made the object. One at a time owns the signal (the
// handler belongs to the process): a second while the first lives stays deaf; the destructor puts
// the previous action back.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <csignal>

class HangupSignal : public QObject {
    Q_OBJECT

public:
    explicit HangupSignal(QObject* parent = nullptr);
    ~HangupSignal() override;

    bool IsInstalled() const { return readFd_ >= 0; }

signals:
    void Received();

private:
    int readFd_ = -1;
    int writeFd_ = -1;
    struct sigaction previous_ {};
    QSocketNotifier* notifier_ = nullptr;
};
