#include "app/hook_router.h"

namespace brimwick {

HookRouter::HookRouter(MainQueue& main, std::shared_ptr<SessionStore> store,
                       std::shared_ptr<ApprovalGate> gate, std::shared_ptr<PhoneLink> phone,
                       std::shared_ptr<UsageStore> usage)
    : main_(main),
      store_(std::move(store)),
      gate_(std::move(gate)),
      phone_(std::move(phone)),
      usage_(std::move(usage)) {}

HookServer::Callbacks HookRouter::callbacks() {
    // Queued routes hold the router weakly, like everything else that is queued: the models and
    // the threads they own end with the application, not whenever the last queued task goes.
    std::weak_ptr<HookRouter> weak = weak_from_this();
    MainQueue& main = main_;
    HookServer::Callbacks callbacks;
    callbacks.onEvent = [weak, &main](HookEvent event) {
        main.post([weak, event = std::move(event)] {
            if (auto self = weak.lock()) self->event(event);
        });
    };
    callbacks.onPermission = [weak, &main](HookEvent event, HookServer::Reply reply) {
        main.post([weak, event = std::move(event), reply = std::move(reply)] {
            if (auto self = weak.lock()) self->permission(event, reply);
        });
    };
    callbacks.onStop = [weak, &main](HookEvent event, HookServer::Reply reply) {
        main.post([weak, event = std::move(event), reply = std::move(reply)] {
            if (auto self = weak.lock()) self->stop(event, reply);
        });
    };
    return callbacks;
}

void HookRouter::event(const HookEvent& event) {
    if (!SessionStore::understands(event)) return;
    gate_->sessionMoved(event);
    phone_->projects().note(event.cwd);
    if (event.name == "SessionEnd") phone_->prompts().drop(event.sessionId);
    store_->handle(event);
}

void HookRouter::permission(const HookEvent& event, HookServer::Reply reply) {
    if (!SessionStore::understands(event)) {
        reply(std::nullopt);
        return;
    }
    const auto held = gate_->request(event, reply);
    if (!held) return;
    std::weak_ptr<HookRouter> weak = weak_from_this();
    reply.onGone([weak, &main = main_, id = *held, sessionId = event.sessionId] {
        main.post([weak, id, sessionId] {
            if (auto self = weak.lock()) self->hookLeft(id, sessionId);
        });
    });
}

// A held permission hook that leaves unanswered was refused in the terminal (or Claude Code
// died), and no other event will say that the turn is over: the request goes, and the session
// stops waiting for approval. That holds even when an answer was already on its way (it reached
// nobody), but not while a newer request of the session waits.
void HookRouter::hookLeft(const std::string& approvalId, const std::string& sessionId) {
    gate_->withdraw(approvalId);
    if (!gate_->waitsFor(sessionId)) store_->permissionAbandoned(sessionId);
}

void HookRouter::stop(const HookEvent& event, HookServer::Reply reply) {
    if (!SessionStore::understands(event)) {
        reply(std::nullopt);
        return;
    }
    gate_->sessionMoved(event);
    phone_->projects().note(event.cwd);
    if (auto prompt = phone_->prompts().handOver(event.sessionId)) {
        // A stop that waited too long for us has been given up by its hook command, and Claude
        // Code stopped without the prompts: they wait for the session's next stop.
        std::weak_ptr<HookRouter> weak = weak_from_this();
        auto undelivered = [weak, &main = main_, event, prompt = *prompt] {
            main.post([weak, event, prompt] {
                auto self = weak.lock();
                if (!self || !self->store_->session(event.sessionId)) return;
                self->phone_->prompts().putBack(event.sessionId, prompt);
                self->store_->handle(event);
            });
        };
        reply(blockAnswer(*prompt), std::move(undelivered));
        // The session goes on with the prompt: show it as its new turn, not as done.
        store_->turnBegan(event.sessionId, event.cwd, *prompt, event.hostPID);
    } else {
        store_->handle(event);
        reply(std::nullopt);
    }
    usage_->refresh(false);
}

std::string HookRouter::blockAnswer(const std::string& prompt) {
    const nlohmann::json answer = {{"decision", "block"}, {"reason", kPhonePromptIntro + prompt}};
    return answer.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace brimwick
