// PendingApproval: one permission request that Claude Code holds open for an answer from
// somewhere other than its terminal (a paired phone, the desktop).
#pragma once

#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "core/clock.h"
#include "hooks/hook_server.h"

namespace brimwick {

struct PendingApproval {
    std::string id;  // 8 lower-case hexadecimal characters, echoed by whoever answers
    std::string sessionId;
    std::string tool;
    std::optional<std::string> detail;
    std::optional<std::vector<nlohmann::json>> suggestions;  // kept verbatim
    Instant expiresAt = 0;                                   // when the gate stops waiting
    HookServer::Reply reply;  // hands the answer (or nothing) back to the hook command
};

// Requests waiting for an answer, by approval id.
using PendingApprovals = std::map<std::string, PendingApproval>;

}  // namespace brimwick
