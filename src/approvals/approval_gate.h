// ApprovalGate: the permission requests Claude Code holds open while someone other than its
// terminal may answer them. It decides whether a request waits, takes the first answer, and
// releases a request when its session moves on, its hook leaves, a newer request of the session
// replaces it, nobody can answer any more, or 110 s pass.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "approvals/pending_approval.h"
#include "core/clock.h"
#include "core/main_queue.h"
#include "core/outcome.h"
#include "core/random_source.h"
#include "core/signal.h"
#include "hooks/hook_event.h"
#include "hooks/hook_server.h"

namespace brimwick {

// Main thread only. The queue and clock must outlive the gate; its timers hold it weakly. Every
// reply it is given is called exactly once, with nothing when the gate goes away first.
class ApprovalGate : public std::enable_shared_from_this<ApprovalGate> {
  public:
    static constexpr double kWait = 110.0;
    static constexpr const char* kDefaultTool = "Tool";
    static constexpr const char* kDenied = "Denied from Brimwick on the user's phone.";
    static constexpr const char* kNoLongerWaiting = "That request is no longer waiting.";

    // Whether an answerer (a watching phone, the desktop) could answer a request now.
    using CanAnswer = std::function<bool()>;

    static std::shared_ptr<ApprovalGate> create(MainQueue& queue, const Clock& clock,
                                                std::shared_ptr<RandomSource> random);
    ~ApprovalGate();
    ApprovalGate(const ApprovalGate&) = delete;
    ApprovalGate& operator=(const ApprovalGate&) = delete;

    // Requests wait only while some answerer can answer them.
    void addAnswerer(CanAnswer canAnswer);
    // An answerer may no longer be able to answer (switched off): requests that nobody can
    // answer now are released, so Claude Code asks in the terminal at once.
    void answerersChanged();

    // The permission hook: held, replacing the session's older request, when an answerer can
    // answer (its id is returned); otherwise `reply` gets nothing at once.
    std::optional<std::string> request(const HookEvent& event, HookServer::Reply reply);
    // An answer: "allow", "always", "deny" become the hook's output; "terminal" (or anything
    // else) releases the request with nothing. A request that is not waiting is refused with
    // "That request is no longer waiting."
    Outcome decide(const std::string& approvalId, const std::string& decision);
    // The hook of a request went away unanswered: releases it if it still waits.
    void withdraw(const std::string& approvalId);
    // Releases the session's request when the event shows the session has moved past it.
    void sessionMoved(const HookEvent& event);

    const PendingApprovals& pending() const { return pending_; }
    bool waitsFor(const std::string& sessionId) const;

    // Emitted after every change of pending().
    Signal<> changed;

    // The hook's output for a decision, or nothing for "terminal" and unknown decisions.
    static std::optional<std::string> answer(
        const std::string& decision, const std::optional<std::vector<nlohmann::json>>& suggestions);

  private:
    ApprovalGate(MainQueue& queue, const Clock& clock, std::shared_ptr<RandomSource> random);
    bool someoneCanAnswer() const;
    void resolve(const std::string& approvalId, std::optional<std::string> answer);
    void releaseWhere(const std::function<bool(const PendingApproval&)>& which);
    std::string newId() const;

    MainQueue& queue_;
    const Clock& clock_;
    std::shared_ptr<RandomSource> random_;
    std::vector<CanAnswer> answerers_;
    PendingApprovals pending_;
    std::map<std::string, TaskHandle> expiries_;  // by approval id
};

}  // namespace brimwick
