// CoalescedTask: work that many changes in a row ask for (a menu rebuild, a snapshot), done once
// on the main queue after the last of them instead of once per change.
#pragma once

#include <functional>
#include <memory>

#include "core/main_queue.h"

namespace brimwick {

// Main thread only. `queue` must outlive the object; a task still queued when the object goes
// away does nothing.
class CoalescedTask {
  public:
    CoalescedTask(MainQueue& queue, std::function<void()> task)
        : queue_(queue), state_(std::make_shared<State>(State{std::move(task)})) {}
    CoalescedTask(const CoalescedTask&) = delete;
    CoalescedTask& operator=(const CoalescedTask&) = delete;

    // Posts the task unless it is already waiting to run. It runs after every task posted
    // before the first request, so it sees the state after the changes that asked for it; a
    // request made while it runs posts it again.
    void request() {
        if (state_->scheduled) return;
        state_->scheduled = true;
        queue_.post([weak = std::weak_ptr<State>(state_)] {
            auto state = weak.lock();
            if (!state) return;
            state->scheduled = false;
            state->task();
        });
    }

  private:
    struct State {
        std::function<void()> task;
        bool scheduled = false;
    };
    MainQueue& queue_;
    std::shared_ptr<State> state_;
};

}  // namespace brimwick
