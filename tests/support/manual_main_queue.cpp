#include "support/manual_main_queue.h"

#include <algorithm>
#include <chrono>

namespace brimwick::testing {

void ManualMainQueue::post(Task task) {
    {
        std::lock_guard lock(mutex_);
        entries_.push_back({now_, sequence_++, std::move(task), {}});
    }
    posted_.notify_all();
}

TaskHandle ManualMainQueue::after(double seconds, Task task) {
    TaskHandle handle(std::make_shared<std::atomic<bool>>(false));
    {
        std::lock_guard lock(mutex_);
        entries_.push_back({now_ + std::max(0.0, seconds), sequence_++, std::move(task), handle});
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

bool ManualMainQueue::popDue(Instant limit, Entry& out) {
    std::lock_guard lock(mutex_);
    auto best = entries_.end();
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        if (it->due > limit) continue;
        if (best == entries_.end() || it->due < best->due ||
            (it->due == best->due && it->sequence < best->sequence)) {
            best = it;
        }
    }
    if (best == entries_.end()) return false;
    out = std::move(*best);
    entries_.erase(best);
    now_ = std::max(now_, out.due);
    return true;
}

int ManualMainQueue::runPending() {
    int ran = 0;
    Entry entry;
    while (popDue(now(), entry)) {
        if (entry.handle.cancelled()) continue;
        entry.task();
        ++ran;
    }
    return ran;
}

void ManualMainQueue::advance(double seconds) {
    const Instant target = now() + seconds;
    Entry entry;
    while (popDue(target, entry)) {
        if (!entry.handle.cancelled()) entry.task();
    }
    {
        std::lock_guard lock(mutex_);
        now_ = std::max(now_, target);
    }
    runPending();
}

bool ManualMainQueue::waitAndRun(double timeoutSeconds) {
    {
        std::unique_lock lock(mutex_);
        posted_.wait_for(lock, std::chrono::duration<double>(timeoutSeconds), [this] {
            return std::any_of(entries_.begin(), entries_.end(),
                               [this](const Entry& e) { return e.due <= now_; });
        });
    }
    return runPending() > 0;
}

}  // namespace brimwick::testing
