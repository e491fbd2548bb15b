// Work handed from the network thread to the user-interface thread. The work passes under a
// mutex and the wake-up is a count on an event descriptor that the event loop watches, so no Qt
// object is made on the network thread and every handover is ordered by something the thread
// sanitizer sees.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

class UiThreadQueue : public QObject {
    Q_OBJECT

public:
    explicit UiThreadQueue(QObject* parent = nullptr);
    ~UiThreadQueue() override;

    // Any thread. Work still queued when the object goes is dropped unrun.
    void Push(std::function<void()> work);

private:
    void Drain();

    int wakeFd_;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::mutex mutex_;
    std::deque<std::function<void()>> work_;
    bool wakePending_ = false;
};
