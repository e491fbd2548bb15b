// Console commands typed on standard input, one a line, for the server run without a window.
//
// Interface: construct with the descriptor (standard input; a pipe in tests), connect, then
// Start(). Whenever the event loop finds input it emits
//   LineRead(line)       each complete line, without its LF and a CR just before it;
//   LineRefused(reason)  for a line over kMaxLineBytes (at once, and the rest up to its LF is
//                        dropped unread into any buffer) or a line holding a NUL byte;
//   InputEnded()         once, at end of input; reading stops, the server runs on;
//   ReadFailed(reason)   once, on a read error; reading stops.
// A last line without its LF is still a line. Works on a pipe, a terminal, /dev/null or a file.
// On a terminal SIGTTIN is ignored, so a server started in the background of a shell is not
// stopped by reading it: it waits, trying again each kBackgroundRetryMs, until it is brought to
// the foreground.
// The descriptor is made non-blocking while it is read and gets its own flags back when reading
// stops (a terminal shares them with the shell); it is never closed. A slot may call Stop(), but
// must not delete the reader (deleteLater is fine).
#pragma once

#include <QByteArray>
#include <QObject>
#include <QSocketNotifier>
#include <QString>

class StdinCommandReader : public QObject {
    Q_OBJECT

public:
    // Far above the 119 characters of a command that are ever sent, and bounded.
    static constexpr qsizetype kMaxLineBytes = 4096;
    static constexpr int kBackgroundRetryMs = 500;

    explicit StdinCommandReader(int fd, QObject* parent = nullptr);
    ~StdinCommandReader() override;

    void Start();
    void Stop();
    bool IsReading() const { return notifier_ != nullptr; }

signals:
    void LineRead(const QByteArray& line);
    void LineRefused(const QString& reason);
    void InputEnded();
    void ReadFailed(const QString& reason);

private:
    void ReadAvailable();
    void TakeBytes(const char* bytes, qsizetype size);
    void FinishLine();

    int fd_;
    int originalFlags_ = -1;               // to put back; -1 while they were not changed
    QSocketNotifier* notifier_ = nullptr;  // a child, so it goes with the reader at the latest
    QByteArray line_;
    bool discarding_ = false;  // inside a refused line, until its LF
};
