// ManualMainQueue: a main queue with virtual time for tests. Nothing runs until the test says
// so; advance(seconds) runs every task that falls due, in time order, moving the clock as it goes.
// Servers may post from their own threads; runUntil waits for such posts in real time.
#pragma once

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include "core/clock.h"
#include "core/main_queue.h"

namespace brimwick::testing {

class ManualMainQueue final : public MainQueue, public Clock {
  public:
    explicit ManualMainQueue(Instant start = 1'800'000'000.0) : now_(start) {}

    void post(Task task) override { after(0, std::move(task)); }
    TaskHandle after(double seconds, Task task) override;
    Instant now() const override;
    std::size_t pendingCount() const;

    // Runs every task due now, including tasks those tasks post. Returns how many ran.
    int runPending() { return runUntilTime(now()); }

    // Moves virtual time forward by `seconds`, running due tasks in order of due time (ties in
    // the order they were scheduled), then everything due at the end time.
    void advance(double seconds) { runUntilTime(now() + seconds); }

    // Runs what is due, waiting in real time for posts from other threads, until `done()`
    // holds; false after `timeoutSeconds`, which only bounds a failing wait.
    template <typename Predicate>
    bool runUntil(Predicate done, double timeoutSeconds = 30.0) {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::duration<double>(timeoutSeconds);
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::unique_lock lock(mutex_);
            posted_.wait_for(lock, std::chrono::milliseconds(10), [this] { return hasDue(); });
            lock.unlock();
            runPending();
        }
        return true;
    }

  private:
    int runUntilTime(Instant limit);
    bool hasDue() const { return !entries_.empty() && entries_.begin()->first.first <= now_; }

    mutable std::mutex mutex_;
    std::condition_variable posted_;
    Instant now_;
    std::uint64_t sequence_ = 0;
    std::map<std::pair<Instant, std::uint64_t>, std::pair<Task, TaskHandle>> entries_;
};

}  // namespace brimwick::testing
