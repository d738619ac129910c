#include "support/manual_main_queue.h"

#include <algorithm>

namespace brimwick::testing {

TaskHandle ManualMainQueue::after(double seconds, Task task) {
    TaskHandle handle(std::make_shared<std::atomic<bool>>(false));
    {
        std::lock_guard lock(mutex_);
        entries_.emplace(std::pair(now_ + std::max(0.0, seconds), sequence_++),
                         std::pair(std::move(task), handle));
    }
    posted_.notify_all();
    return handle;
}

Instant ManualMainQueue::now() const {
    std::lock_guard lock(mutex_);
    return now_;
}

std::size_t ManualMainQueue::pendingCount() const {
    std::lock_guard lock(mutex_);
    return entries_.size();
}

int ManualMainQueue::runUntilTime(Instant limit) {
    int ran = 0;
    for (;;) {
        std::unique_lock lock(mutex_);
        if (entries_.empty() || entries_.begin()->first.first > limit) {
            now_ = std::max(now_, limit);
            return ran;
        }
        auto node = entries_.extract(entries_.begin());
        now_ = std::max(now_, node.key().first);
        lock.unlock();
        if (node.mapped().second.cancelled()) continue;
        node.mapped().first();
        ++ran;
    }
}

}  // namespace brimwick::testing
