// HookRecorder: HookServer callbacks that record what arrives, for tests on any thread.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "hooks/hook_server.h"
#include "support/eventually.h"

namespace brimwick::testing {

class HookRecorder {
  public:
    struct Call {
        std::string kind;  // "event", "permission" or "stop"
        HookEvent event;
        HookServer::Reply reply;
    };

    HookServer::Callbacks callbacks() {
        return {[this](HookEvent e) {
                    add({"event", std::move(e), {}});
                },
                [this](HookEvent e, HookServer::Reply r) {
                    add({"permission", std::move(e), r});
                },
                [this](HookEvent e, HookServer::Reply r) {
                    add({"stop", std::move(e), r});
                },
                [this](std::string status) {
                    std::lock_guard lock(mutex_);
                    statuses_.push_back(std::move(status));
                }};
    }

    // Waits (real time, for the server thread) until at least `count` calls have arrived.
    bool waitForCalls(std::size_t count) {
        return eventually([&] { return calls().size() >= count; });
    }
    std::vector<Call> calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }
    std::vector<std::string> statuses() const {
        std::lock_guard lock(mutex_);
        return statuses_;
    }

  private:
    void add(Call call) {
        std::lock_guard lock(mutex_);
        calls_.push_back(std::move(call));
    }

    mutable std::mutex mutex_;
    std::vector<Call> calls_;
    std::vector<std::string> statuses_;
};

}  // namespace brimwick::testing
