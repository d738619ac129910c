#include "phone/phone_snapshot.h"

#include <cmath>

#include "core/percent.h"
#include "core/text.h"
#include "sessions/bot_state.h"
#include "sessions/session_store.h"
#include "usage/usage_store.h"

namespace brimwick {
namespace {

using nlohmann::json;

json optionalText(const std::optional<std::string>& text) {
    return text ? json(*text) : json(nullptr);
}

json limitObject(const std::optional<UsageLimit>& limit) {
    if (!limit) return nullptr;
    return {{"percentLeft", percentLeft(limit->used)},
            {"resetsAt", phone_snapshot::milliseconds(limit->resetsAt)}};
}

json approvalObject(const PendingApproval& approval) {
    return {{"id", approval.id},
            {"tool", approval.tool},
            {"detail",
             approval.detail ? json(text::displayable(*approval.detail, true)) : json(nullptr)},
            {"canAlwaysAllow", approval.suggestions.has_value() && !approval.suggestions->empty()},
            {"expiresAt", phone_snapshot::milliseconds(approval.expiresAt)}};
}

}  // namespace

json phone_snapshot::milliseconds(std::optional<Instant> instant) {
    if (!instant || !std::isfinite(*instant)) return nullptr;
    const double ms = std::trunc(*instant * 1000.0);
    // 2^63 is exactly representable; anything at or beyond it does not fit.
    constexpr double kLimit = 9223372036854775808.0;
    if (ms >= kLimit || ms < -kLimit) return nullptr;
    return static_cast<std::int64_t>(ms);
}

bool phone_snapshot::sameContent(const json& a, const json& b) {
    if (!a.is_object() || !b.is_object() || a.size() != b.size()) return false;
    for (const auto& [key, value] : a.items()) {
        if (key == "serverTime") continue;
        const auto other = b.find(key);
        if (other == b.end() || *other != value) return false;
    }
    return true;
}

json phone_snapshot::snapshot(const SessionStore& store, const UsageStore& usage,
                              const std::string& host, const PendingApprovals& approvals,
                              const QueuedPrompts& queued, const std::vector<std::string>& projects,
                              const Clock& clock, const HostAppName& hostAppName) {
    json sessions = json::array();
    for (const auto& session : store.ranked()) {
        json pending = nullptr;
        for (const auto& [id, approval] : approvals) {
            if (approval.sessionId == session.id) {
                pending = approvalObject(approval);
                break;
            }
        }
        const auto queue = queued.find(session.id);
        const std::optional<std::string> app =
            hostAppName && session.hostPID ? hostAppName(session.hostPID) : std::nullopt;
        sessions.push_back({
            {"id", session.id},
            {"project", session.project},
            {"state", std::string(rawValue(session.state))},
            {"label", std::string(label(session.state))},
            {"needsYou", needsYou(session.state)},
            {"stateChangedAt", milliseconds(session.stateChangedAt)},
            {"app", optionalText(app)},
            {"task", optionalText(session.task)},
            {"activity", optionalText(session.activity)},
            {"queued", queue == queued.end() ? 0 : queue->second.size()},
            {"pending", std::move(pending)},
        });
    }

    json usageObject = nullptr;
    if (usage.enabled()) {
        const auto& figures = usage.usage();
        usageObject = {{"session", figures ? limitObject(figures->session) : json(nullptr)},
                       {"week", figures ? limitObject(figures->week) : json(nullptr)},
                       {"problem", usage.problem()}};
    }

    json projectList = json::array();
    for (const auto& path : projects) {
        projectList.push_back({{"name", text::lastPathComponent(path)}, {"path", path}});
    }

    return {{"host", host},
            {"serverTime", milliseconds(clock.now())},
            {"sessions", std::move(sessions)},
            {"usage", std::move(usageObject)},
            {"projects", std::move(projectList)}};
}

}  // namespace brimwick
