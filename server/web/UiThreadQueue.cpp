#include "UiThreadQueue.h"

#include <utility>

void UiThreadQueue::Push(std::function<void()> work) {
    {
        std::lock_guard guard(mutex_);
        work_.push_back(std::move(work));
        if (std::exchange(wakePending_, true)) return;
    }
    QMetaObject::invokeMethod(this, "Drain", Qt::QueuedConnection);
}

void UiThreadQueue::Drain() {
    std::deque<std::function<void()>> batch;
    {
        std::lock_guard guard(mutex_);
        batch.swap(work_);
        wakePending_ = false;
    }
    for (std::function<void()>& work : batch) work();
}
