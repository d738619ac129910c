#include "approvals/approval_gate.h"

#include <algorithm>
#include <set>

#include "core/text.h"

namespace brimwick {
namespace {

using nlohmann::json;

// Events after which a session no longer waits for its permission request to be answered.
bool movesPastPermission(const std::string& hookName) {
    static const std::set<std::string> names = {
        "PreToolUse",       "PostToolUse", "PostToolUseFailure", "PostToolBatch",
        "UserPromptSubmit", "Stop",        "StopFailure",        "SessionEnd"};
    return names.count(hookName) > 0;
}

}  // namespace

std::shared_ptr<ApprovalGate> ApprovalGate::create(MainQueue& queue, const Clock& clock,
                                                   std::shared_ptr<RandomSource> random) {
    return std::shared_ptr<ApprovalGate>(new ApprovalGate(queue, clock, std::move(random)));
}

ApprovalGate::ApprovalGate(MainQueue& queue, const Clock& clock,
                           std::shared_ptr<RandomSource> random)
    : queue_(queue), clock_(clock), random_(std::move(random)) {}

ApprovalGate::~ApprovalGate() {
    // Claude Code must not wait for answers that can no longer come.
    for (auto& [id, approval] : pending_) {
        if (approval.reply) approval.reply(std::nullopt);
    }
    for (auto& [id, timer] : expiries_) timer.cancel();
}

void ApprovalGate::addAnswerer(CanAnswer canAnswer) {
    answerers_.push_back(std::move(canAnswer));
}

bool ApprovalGate::someoneCanAnswer() const {
    return std::any_of(answerers_.begin(), answerers_.end(),
                       [](const CanAnswer& canAnswer) { return canAnswer(); });
}

void ApprovalGate::answerersChanged() {
    if (!someoneCanAnswer()) releaseWhere([](const PendingApproval&) { return true; });
}

std::string ApprovalGate::newId() const {
    std::string id;
    do {
        id = text::lowercased(random_->uuidString().substr(0, 8));
    } while (pending_.count(id));
    return id;
}

std::optional<std::string> ApprovalGate::request(const HookEvent& event, HookServer::Reply reply) {
    if (!someoneCanAnswer()) {
        reply(std::nullopt);
        return std::nullopt;
    }
    // One request per session waits: the newer one replaces the older.
    releaseWhere([&](const PendingApproval& p) { return p.sessionId == event.sessionId; });

    PendingApproval approval;
    approval.id = newId();
    approval.sessionId = event.sessionId;
    approval.tool = event.toolName.value_or(kDefaultTool);
    approval.detail = event.toolDetail;
    approval.suggestions = event.permissionSuggestions;
    approval.expiresAt = clock_.now() + kWait;
    approval.reply = std::move(reply);
    const auto id = approval.id;
    pending_.emplace(id, std::move(approval));
    std::weak_ptr<ApprovalGate> weak = weak_from_this();
    expiries_[id] = queue_.after(kWait, [weak, id] {
        if (auto self = weak.lock()) self->resolve(id, std::nullopt);
    });
    changed.emit();
    return id;
}

std::optional<std::string> ApprovalGate::answer(
    const std::string& decision, const std::optional<std::vector<json>>& suggestions) {
    json object;
    if (decision == "allow") {
        object = {{"behavior", "allow"}};
    } else if (decision == "always") {
        object = {{"behavior", "allow"}};
        if (suggestions && !suggestions->empty()) object["updatedPermissions"] = *suggestions;
    } else if (decision == "deny") {
        object = {{"behavior", "deny"}, {"message", kDenied}};
    } else {
        return std::nullopt;
    }
    const json output = {
        {"hookSpecificOutput", {{"hookEventName", "PermissionRequest"}, {"decision", object}}}};
    try {
        return output.dump();
    } catch (const json::exception&) {
        return std::nullopt;  // e.g. a suggestion carrying invalid UTF-8
    }
}

Outcome ApprovalGate::decide(const std::string& approvalId, const std::string& decision) {
    const auto it = pending_.find(approvalId);
    if (it == pending_.end()) return {false, kNoLongerWaiting};
    resolve(approvalId, answer(decision, it->second.suggestions));
    return {true, ""};
}

void ApprovalGate::withdraw(const std::string& approvalId) {
    resolve(approvalId, std::nullopt);
}

void ApprovalGate::sessionMoved(const HookEvent& event) {
    if (!movesPastPermission(event.name)) return;
    releaseWhere([&](const PendingApproval& p) { return p.sessionId == event.sessionId; });
}

bool ApprovalGate::waitsFor(const std::string& sessionId) const {
    return std::any_of(pending_.begin(), pending_.end(),
                       [&](const auto& entry) { return entry.second.sessionId == sessionId; });
}

void ApprovalGate::resolve(const std::string& approvalId, std::optional<std::string> answer) {
    // A copy: the caller's text may be the very key erased below.
    const std::string id = approvalId;
    const auto it = pending_.find(id);
    if (it == pending_.end()) return;
    auto reply = std::move(it->second.reply);
    pending_.erase(it);
    if (const auto timer = expiries_.find(id); timer != expiries_.end()) {
        timer->second.cancel();
        expiries_.erase(timer);
    }
    if (reply) reply(std::move(answer));
    changed.emit();
}

void ApprovalGate::releaseWhere(const std::function<bool(const PendingApproval&)>& which) {
    std::vector<std::string> ids;
    for (const auto& [id, approval] : pending_) {
        if (which(approval)) ids.push_back(id);
    }
    for (const auto& id : ids) resolve(id, std::nullopt);
}

}  // namespace brimwick
