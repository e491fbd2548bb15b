// Work handed from the network thread to the user-interface thread. The work itself passes under
// a mutex; Qt's event queue only carries a wake-up without data, so every handover is ordered by
// a lock that the thread sanitizer sees.
#pragma once

#include <QObject>
#include <deque>
#include <functional>
#include <mutex>

class UiThreadQueue : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    // Any thread. Work still queued when the object goes is dropped unrun.
    void Push(std::function<void()> work);

    Q_INVOKABLE void Drain();

private:
    std::mutex mutex_;
    std::deque<std::function<void()>> work_;
    bool wakePending_ = false;
};
