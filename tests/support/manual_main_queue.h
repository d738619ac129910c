// ManualMainQueue: a main queue with virtual time for tests. Nothing runs until the test says
// so; advance(seconds) runs every task that falls due, in time order, moving the clock as it goes.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

#include "core/clock.h"
#include "core/main_queue.h"

namespace brimwick::testing {

class ManualMainQueue final : public MainQueue, public Clock {
  public:
    explicit ManualMainQueue(Instant start = 1'800'000'000.0) : now_(start) {}

    void post(Task task) override;
    TaskHandle after(double seconds, Task task) override;
    Instant now() const override;

    // Runs every task due now, including tasks those tasks post. Returns how many ran.
    int runPending();

    // Moves virtual time forward by `seconds`, running due tasks in order of due time
    // (ties in the order they were scheduled), then everything due at the end time.
    void advance(double seconds);

    // For posts from real threads (servers): waits, in real time, until at least one task is
    // queued or `timeoutSeconds` passes, then runs what is due. Returns whether any task ran.
    bool waitAndRun(double timeoutSeconds = 5.0);

    // Repeats waitAndRun until `done()` holds; false when the real-time budget runs out. The
    // budget only bounds a failing wait: a loaded machine (sanitizers, CI) may be slow.
    template <typename Predicate>
    bool runUntil(Predicate done, double timeoutSeconds = 30.0) {
        const auto deadline = std::chrono::steady_clock::now() +
                              std::chrono::duration<double>(timeoutSeconds);
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            waitAndRun(0.01);
        }
        return true;
    }

    std::size_t pendingCount() const;

  private:
    struct Entry {
        Instant due;
        std::uint64_t sequence;
        Task task;
        TaskHandle handle;
    };
    bool popDue(Instant limit, Entry& out);

    mutable std::mutex mutex_;
    std::condition_variable posted_;
    Instant now_;
    std::uint64_t sequence_ = 0;
    std::vector<Entry> entries_;
};

}  // namespace brimwick::testing
