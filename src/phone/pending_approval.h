// PendingApproval: one permission request held open for the phone to answer.
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "core/clock.h"
#include "hooks/hook_server.h"

namespace brimwick {

struct PendingApproval {
    std::string id;  // 8 lower-case hexadecimal characters, echoed by the phone in "/decide"
    std::string sessionId;
    std::string tool;
    std::optional<std::string> detail;
    std::optional<std::vector<nlohmann::json>> suggestions;  // kept verbatim
    Instant expiresAt = 0;                                   // when the link stops waiting
    HookServer::Reply reply;  // hands the answer (or nothing) back to the hook command
};

}  // namespace brimwick
