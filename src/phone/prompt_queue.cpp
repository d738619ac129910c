#include "phone/prompt_queue.h"

namespace brimwick {

Outcome PromptQueue::queue(const std::string& text, const std::optional<AgentSession>& session) {
    if (!session) return {false, kSessionEnded};
    queued_[session->id].push_back(text);
    changed.emit();
    switch (session->state) {
        case BotState::greeting:
        case BotState::idle:
        case BotState::finished:
        case BotState::sleeping:
            return {true,
                    session->project + " is idle, so it gets this after its next turn on this computer."};
        case BotState::question:
            return {true, session->project + " gets this once its question is answered."};
        case BotState::thinking:
        case BotState::working:
        case BotState::searching:
        case BotState::approval:
        case BotState::error:
            break;
    }
    return {true, session->project + " gets this when its current turn ends."};
}

std::optional<std::string> PromptQueue::handOver(const std::string& sessionId) {
    const auto it = queued_.find(sessionId);
    if (it == queued_.end()) return std::nullopt;
    const auto prompts = std::move(it->second);
    queued_.erase(it);
    changed.emit();
    if (prompts.empty()) return std::nullopt;
    std::string joined = prompts.front();
    for (std::size_t i = 1; i < prompts.size(); ++i) joined += kSeparator + prompts[i];
    return joined;
}

void PromptQueue::putBack(const std::string& sessionId, const std::string& handedOver) {
    auto& prompts = queued_[sessionId];
    prompts.insert(prompts.begin(), handedOver);
    changed.emit();
}

void PromptQueue::drop(const std::string& sessionId) {
    if (queued_.erase(sessionId)) changed.emit();
}

}  // namespace brimwick
