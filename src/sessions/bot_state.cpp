#include "sessions/bot_state.h"

namespace brimwick {
namespace {

struct StateInfo {
    std::string_view raw;
    std::string_view label;
};

constexpr std::array<StateInfo, 10> kInfo = {{
    {"greeting", "Saying hi"},
    {"idle", "Idle"},
    {"thinking", "Thinking"},
    {"working", "Working"},
    {"searching", "Reading files"},
    {"approval", "Needs your approval"},
    {"question", "Waiting for you"},
    {"finished", "Done"},
    {"error", "Hit an error"},
    {"sleeping", "Asleep"},
}};

}  // namespace

std::string_view rawValue(BotState state) {
    return kInfo[static_cast<std::size_t>(state)].raw;
}

std::string_view label(BotState state) {
    return kInfo[static_cast<std::size_t>(state)].label;
}

std::optional<BotState> botStateFromRaw(std::string_view raw) {
    for (BotState state : kAllBotStates) {
        if (rawValue(state) == raw) return state;
    }
    return std::nullopt;
}

bool needsYou(BotState state) {
    return state == BotState::approval || state == BotState::question;
}

}  // namespace brimwick
