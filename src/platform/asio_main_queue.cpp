#include "platform/asio_main_queue.h"

#include <asio/post.hpp>
#include <asio/steady_timer.hpp>
#include <chrono>

namespace brimwick {

void AsioMainQueue::post(Task task) {
    asio::post(context_, std::move(task));
}

TaskHandle AsioMainQueue::after(double seconds, Task task) {
    auto flag = std::make_shared<std::atomic<bool>>(false);
    TaskHandle handle(flag);
    // The timer is created on the main thread so a timer object is never shared across threads.
    asio::post(context_, [this, seconds, handle, task = std::move(task)]() mutable {
        if (handle.cancelled()) return;
        auto timer = std::make_shared<asio::steady_timer>(context_);
        timer->expires_after(std::chrono::duration_cast<std::chrono::steady_clock::duration>(
            std::chrono::duration<double>(seconds < 0 ? 0 : seconds)));
        timer->async_wait([timer, handle, task = std::move(task)](const std::error_code& error) {
            if (!error && !handle.cancelled()) task();
        });
    });
    return handle;
}

}  // namespace brimwick
