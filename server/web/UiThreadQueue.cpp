#include "UiThreadQueue.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>
#include <stdexcept>
#include <utility>

UiThreadQueue::UiThreadQueue(QObject* parent)
    : QObject(parent), wakeFd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (wakeFd_ < 0) throw std::runtime_error("no event descriptor for the web admin");
    notifier_ = std::make_unique<QSocketNotifier>(wakeFd_, QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &UiThreadQueue::Drain);
}

UiThreadQueue::~UiThreadQueue() {
    notifier_.reset();
    ::close(wakeFd_);
}

void UiThreadQueue::Push(std::function<void()> work) {
    {
        std::lock_guard guard(mutex_);
        work_.push_back(std::move(work));
        if (std::exchange(wakePending_, true)) return;
    }
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(wakeFd_, &one, sizeof one);
}

void UiThreadQueue::Drain() {
    uint64_t count = 0;
    [[maybe_unused]] const ssize_t read = ::read(wakeFd_, &count, sizeof count);
    std::deque<std::function<void()>> batch;
    {
        std::lock_guard guard(mutex_);
        batch.swap(work_);
        wakePending_ = false;
    }
    for (std::function<void()>& work : batch) work();
}
