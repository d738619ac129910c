#include "support/hook_recorder.h"

#include <chrono>

namespace brimwick::testing {

HookServer::Callbacks HookRecorder::callbacks() {
    HookServer::Callbacks callbacks;
    callbacks.onEvent = [this](HookEvent event) { add({"event", std::move(event), {}}); };
    callbacks.onPermission = [this](HookEvent event, HookServer::Reply reply) {
        add({"permission", std::move(event), std::move(reply)});
    };
    callbacks.onStop = [this](HookEvent event, HookServer::Reply reply) {
        add({"stop", std::move(event), std::move(reply)});
    };
    callbacks.onStatus = [this](std::string status) {
        std::lock_guard lock(mutex_);
        statuses_.push_back(std::move(status));
        changed_.notify_all();
    };
    return callbacks;
}

void HookRecorder::add(Call call) {
    std::lock_guard lock(mutex_);
    calls_.push_back(std::move(call));
    changed_.notify_all();
}

bool HookRecorder::waitForCalls(std::size_t count, double timeoutSeconds) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::duration<double>(timeoutSeconds),
                             [&] { return calls_.size() >= count; });
}

bool HookRecorder::waitForStatus(std::size_t count, double timeoutSeconds) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::duration<double>(timeoutSeconds),
                             [&] { return statuses_.size() >= count; });
}

std::vector<HookRecorder::Call> HookRecorder::calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
}

std::vector<std::string> HookRecorder::statuses() const {
    std::lock_guard lock(mutex_);
    return statuses_;
}

}  // namespace brimwick::testing
