#include "core/background_task.h"

#include <system_error>

namespace brimwick {

BackgroundTask::~BackgroundTask() {
    cancel();
}

bool BackgroundTask::start(Work work) {
    if (thread_.joinable()) thread_.join();
    try {
        thread_ = std::jthread([work = std::move(work)](std::stop_token stop) { work(stop); });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void BackgroundTask::cancel() {
    if (!thread_.joinable()) return;
    thread_.request_stop();
    thread_.join();
}

}  // namespace brimwick
