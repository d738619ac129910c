// phone_snapshot: the status document a paired phone reads — every session with its state, the
// permission request waiting for the phone, queued prompts, plan usage and known project folders.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "approvals/pending_approval.h"
#include "core/clock.h"
#include "phone/prompt_queue.h"

namespace brimwick {

class SessionStore;
class UsageStore;

namespace phone_snapshot {

// The name of the desktop application hosting a session's process (see SessionFocus), or
// nothing. Injected so that building a snapshot needs no display.
using HostAppName = std::function<std::optional<std::string>(std::optional<std::int32_t>)>;

// Builds the document: "host", "serverTime", "sessions" (in ranked order), "usage" (null
// while the usage display is off) and "projects". Every key is always present; absent
// values are JSON null. "version" is added by the server when it publishes. Reads the
// stores and the clock, changes nothing. Main thread. An empty `hostAppName` gives
// "app": null for every session.
nlohmann::json snapshot(const SessionStore& store, const UsageStore& usage, const std::string& host,
                        const PendingApprovals& approvals, const QueuedPrompts& queued,
                        const std::vector<std::string>& projects, const Clock& clock,
                        const HostAppName& hostAppName = {});

// Whether two snapshots say the same, their "serverTime" aside.
bool sameContent(const nlohmann::json& a, const nlohmann::json& b);

// Seconds since the epoch as whole milliseconds, truncated toward zero; null when absent or
// not representable (not finite, beyond 64 bits).
nlohmann::json milliseconds(std::optional<Instant> instant);

}  // namespace phone_snapshot

}  // namespace brimwick
