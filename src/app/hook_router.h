// HookRouter: what each hook does to Brimwick, route by route: which parts see the event, in
// which order, and what a held permission request or stop hook is answered. The hook server's
// callbacks post each route to the main thread, where everything here runs.
#pragma once

#include <memory>
#include <string>

#include "approvals/approval_gate.h"
#include "core/main_queue.h"
#include "hooks/hook_server.h"
#include "phone/phone_link.h"
#include "sessions/session_store.h"
#include "usage/usage_store.h"

namespace brimwick {

class HookRouter : public std::enable_shared_from_this<HookRouter> {
  public:
    static constexpr const char* kPhonePromptIntro =
        "The user sent this message from their phone (through Brimwick). Treat it as their next "
        "prompt:\n\n";

    // The queue must outlive the router; the models are kept alive by it.
    HookRouter(MainQueue& main, std::shared_ptr<SessionStore> store,
               std::shared_ptr<ApprovalGate> gate, std::shared_ptr<PhoneLink> phone,
               std::shared_ptr<UsageStore> usage);

    // The hook server's callbacks for the three routes (server thread: they only post).
    HookServer::Callbacks callbacks();

    // "/hook": every event that is not held. The gate and the phone see it before the store.
    void event(const HookEvent& event);
    // "/permission", after event() has shown the request: the gate holds it for an answer or
    // answers it empty at once. A held request whose hook leaves unanswered is withdrawn, and
    // the session's turn is over.
    void permission(const HookEvent& event, HookServer::Reply reply);
    // "/stop": prompts queued on the phone are handed over as the session's next prompt (a
    // "block" answer), and go back to the queue if the hook gave up before the answer; without
    // prompts the stop ends the turn. Either way the plan usage is worth reading again.
    void stop(const HookEvent& event, HookServer::Reply reply);

    // The stop hook's answer that hands `prompt` over, as compact JSON.
    static std::string blockAnswer(const std::string& prompt);

  private:
    void hookLeft(const std::string& approvalId, const std::string& sessionId);

    MainQueue& main_;
    std::shared_ptr<SessionStore> store_;
    std::shared_ptr<ApprovalGate> gate_;
    std::shared_ptr<PhoneLink> phone_;
    std::shared_ptr<UsageStore> usage_;
};

}  // namespace brimwick
