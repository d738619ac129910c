// AgentSession: the record of one Claude Code session as the session store keeps it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/clock.h"
#include "sessions/bot_state.h"

namespace brimwick {

struct AgentSession {
    std::string id;       // Claude Code's session id, or a demo id
    std::string project;  // last path component of the working directory, or "Claude"
    BotState state = BotState::idle;
    BotState previousState = BotState::idle;
    Instant stateChangedAt = 0;
    Instant createdAt = 0;
    Instant lastEventAt = 0;  // when the store last applied a state
    double seed = 0;          // uniform in [0, 1), drawn at creation; the mascot reads it
    std::optional<std::int32_t> hostPID;
    std::optional<std::string> task;      // the latest prompt's first line, <= 160 characters
    std::optional<std::string> activity;  // what the current tool is doing

    bool operator==(const AgentSession&) const = default;
};

}  // namespace brimwick
