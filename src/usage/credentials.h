// Credentials: the OAuth login token that Claude Code stored, decoded from its login record
// (where the record is kept is the platform's business: platform/login_record.h).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/clock.h"

namespace brimwick {

struct Credentials {
    std::string accessToken;           // never empty
    std::optional<Instant> expiresAt;  // absent when the record has no numeric expiry

    bool operator==(const Credentials&) const = default;

    // Reads the JSON login record: {"claudeAiOauth": {"accessToken": "…", "expiresAt": ms}}.
    // Nothing when it is not JSON, lacks the object, or the token is empty or could not travel
    // in a header line (control characters). Any thread.
    static std::optional<Credentials> parse(std::string_view bytes);
};

}  // namespace brimwick
