// BackgroundTask: blocking work on a thread of its own that its owner can cancel and always
// joins, so the work never outlives the owner or anything it calls back into.
#pragma once

#include <functional>
#include <stop_token>
#include <thread>

namespace brimwick {

// One piece of work at a time. start(), cancel() and the destructor belong to the owner's thread
// (the main thread); the work runs on the task's thread and should watch its stop token.
class BackgroundTask {
  public:
    using Work = std::function<void(std::stop_token stop)>;

    BackgroundTask() = default;
    ~BackgroundTask();  // cancel()
    BackgroundTask(const BackgroundTask&) = delete;
    BackgroundTask& operator=(const BackgroundTask&) = delete;

    // Waits for the previous work to return, then runs `work` on a new thread. The owner starts
    // the next work only after the last one has reported back, so that wait is short. False
    // when no thread could be started; `work` has not run then and never will.
    bool start(Work work);

    // Asks the running work to stop (its token reports stop_requested()) and waits until it has
    // returned. Does nothing when no work runs.
    void cancel();

  private:
    std::jthread thread_;
};

}  // namespace brimwick
