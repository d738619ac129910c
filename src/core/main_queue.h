// MainQueue: the one thread that owns every model object, seen as a FIFO of tasks plus timers.
#pragma once

#include <atomic>
#include <functional>
#include <memory>

namespace brimwick {

// Cancels a delayed task. Copies share the same task; a default handle cancels nothing.
// Thread-safe: cancel() may be called from any thread.
class TaskHandle {
  public:
    TaskHandle() = default;
    explicit TaskHandle(std::shared_ptr<std::atomic<bool>> cancelled)
        : cancelled_(std::move(cancelled)) {}

    void cancel() const {
        if (cancelled_) cancelled_->store(true);
    }
    bool cancelled() const { return cancelled_ && cancelled_->load(); }

  private:
    std::shared_ptr<std::atomic<bool>> cancelled_;
};

// The main thread's task queue. Implementations: AsioMainQueue (headless), the Qt event loop
// (desktop) and ManualMainQueue (tests, virtual time).
class MainQueue {
  public:
    using Task = std::function<void()>;
    virtual ~MainQueue() = default;

    // Runs `task` on the main thread after every task posted before it. Callable from any thread.
    virtual void post(Task task) = 0;

    // Runs `task` on the main thread once `seconds` have passed, unless the handle is cancelled
    // first. Callable from any thread.
    virtual TaskHandle after(double seconds, Task task) = 0;
};

}  // namespace brimwick
