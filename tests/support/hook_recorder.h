// HookRecorder: HookServer callbacks that record what arrives, for tests on any thread.
#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "hooks/hook_server.h"

namespace brimwick::testing {

class HookRecorder {
  public:
    struct Call {
        std::string kind;  // "event", "permission" or "stop"
        HookEvent event;
        HookServer::Reply reply;
    };

    // Callbacks that record into this object. `autoReply` answers held requests at once.
    HookServer::Callbacks callbacks();

    // Waits (real time, for the server thread) until at least `count` calls have arrived.
    bool waitForCalls(std::size_t count, double timeoutSeconds = 5.0);
    bool waitForStatus(std::size_t count, double timeoutSeconds = 5.0);

    std::vector<Call> calls() const;
    std::vector<std::string> statuses() const;

  private:
    void add(Call call);

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Call> calls_;
    std::vector<std::string> statuses_;
};

}  // namespace brimwick::testing
