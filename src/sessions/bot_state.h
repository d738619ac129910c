// BotState: the ten display states of a session, with their labels.
#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace brimwick {

enum class BotState {
    greeting,
    idle,
    thinking,
    working,
    searching,
    approval,
    question,
    finished,
    error,
    sleeping,
};

inline constexpr std::array<BotState, 10> kAllBotStates = {
    BotState::greeting,  BotState::idle,     BotState::thinking, BotState::working,
    BotState::searching, BotState::approval, BotState::question, BotState::finished,
    BotState::error,     BotState::sleeping};

// "greeting", "idle", ...: the case name, used wherever a state is written out.
std::string_view rawValue(BotState state);

// Exact, case-sensitive; nothing for unknown text.
std::optional<BotState> botStateFromRaw(std::string_view raw);

// "Saying hi", "Idle", "Thinking", ...
std::string_view label(BotState state);

// True for the states in which a session waits for the user: approval and question.
bool needsYou(BotState state);

}  // namespace brimwick
