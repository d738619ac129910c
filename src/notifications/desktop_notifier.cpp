#include "notifications/desktop_notifier.h"

#include <set>

namespace brimwick {
namespace {

constexpr const char* kNoServer = "No notification server is running";
constexpr const char* kNoButtons = "The notification server shows no buttons";
constexpr const char* kPaused = "Notifications are paused (Do Not Disturb)";

// A finished turn is left out: it comes too often to be worth a notification.
bool needsUser(BotState state) {
    return state == BotState::approval || state == BotState::question || state == BotState::error;
}

// A button's key names the request it answers, so a click on a notification that a newer
// request has just replaced cannot answer the newer one.
std::string actionKey(const std::string& decision, const std::string& approvalId) {
    return decision + ":" + approvalId;
}

}  // namespace

std::shared_ptr<DesktopNotifier> DesktopNotifier::create(MainQueue& queue, Preferences& preferences,
                                                         std::shared_ptr<SessionStore> store,
                                                         std::shared_ptr<ApprovalGate> gate,
                                                         DesktopNotifications* service,
                                                         Focus focus) {
    std::shared_ptr<DesktopNotifier> notifier(new DesktopNotifier(
        queue, preferences, std::move(store), std::move(gate), service, std::move(focus)));
    notifier->follow();
    return notifier;
}

DesktopNotifier::DesktopNotifier(MainQueue& queue, Preferences& preferences,
                                 std::shared_ptr<SessionStore> store,
                                 std::shared_ptr<ApprovalGate> gate, DesktopNotifications* service,
                                 Focus focus)
    : preferences_(preferences),
      store_(std::move(store)),
      gate_(std::move(gate)),
      service_(service),
      focus_(std::move(focus)),
      notify_(preferences.boolValue(kNotifyKey, true)),
      approve_(preferences.boolValue(kApprovalsKey, false)),
      update_(queue, [this] { reconcile(); }) {}

DesktopNotifier::~DesktopNotifier() {
    if (!service_) return;
    for (const auto& [id, shown] : shown_) {
        if (shown.open) service_->close(id);
    }
    service_->onAction = nullptr;
    service_->onDismissed = nullptr;
}

void DesktopNotifier::follow() {
    std::weak_ptr<DesktopNotifier> weak = weak_from_this();
    gate_->addAnswerer([weak] {
        auto self = weak.lock();
        return self && self->canAnswer();
    });
    subscriptions_.push_back(
        store_->changed.connect([this](const SessionChange&) { update_.request(); }));
    subscriptions_.push_back(gate_->changed.connect([this] { update_.request(); }));
    if (!service_) return;
    service_->onAction = [weak](const std::string& key, const std::string& action) {
        if (auto self = weak.lock()) self->actionInvoked(key, action);
    };
    service_->onDismissed = [weak](const std::string& key) {
        auto self = weak.lock();
        if (!self) return;
        if (auto it = self->shown_.find(key); it != self->shown_.end()) it->second.open = false;
    };
    subscriptions_.push_back(service_->supportChanged.connect([this] {
        // Requests held for buttons that can no longer show go back to the terminal.
        gate_->answerersChanged();
        update_.request();
        changed.emit();
    }));
}

NotificationSupport DesktopNotifier::support() const {
    return service_ ? service_->support() : NotificationSupport::none;
}

bool DesktopNotifier::canAnswer() const {
    return approve_ && support() == NotificationSupport::actions;
}

std::optional<std::string> DesktopNotifier::unavailableReason() const {
    if (!approve_) return std::nullopt;
    switch (support()) {
        case NotificationSupport::none:
            return kNoServer;
        case NotificationSupport::plain:
            return kNoButtons;
        case NotificationSupport::paused:
            return kPaused;
        case NotificationSupport::actions:
            return std::nullopt;
    }
    return std::nullopt;
}

void DesktopNotifier::setNotifyEnabled(bool on) {
    if (on == notify_) return;
    notify_ = on;
    preferences_.setValue(kNotifyKey, on);
    update_.request();
    changed.emit();
}

void DesktopNotifier::setApproveFromDesktop(bool on) {
    if (on == approve_) return;
    approve_ = on;
    preferences_.setValue(kApprovalsKey, on);
    if (!on) gate_->answerersChanged();
    update_.request();
    changed.emit();
}

std::string DesktopNotifier::summary(const AgentSession& session) {
    return session.project + ": " + std::string(label(session.state));
}

std::string DesktopNotifier::body(const AgentSession& session) {
    // What the session is doing says most ("Running npm test"); between tools, its task.
    return session.activity.value_or(session.task.value_or(""));
}

const PendingApproval* DesktopNotifier::heldFor(const std::string& sessionId) const {
    if (!canAnswer()) return nullptr;
    for (const auto& [id, approval] : gate_->pending()) {
        if (approval.sessionId == sessionId) return &approval;
    }
    return nullptr;
}

void DesktopNotifier::reconcile() {
    if (!service_) return;
    std::set<std::string> live;
    for (const AgentSession& session : store_->sessions()) {
        live.insert(session.id);
        const PendingApproval* held =
            session.state == BotState::approval ? heldFor(session.id) : nullptr;
        const std::optional<std::string> heldId = held ? std::optional(held->id) : std::nullopt;
        const auto it = shown_.find(session.id);
        // Buttons the user asked for show even with the other notifications switched off.
        if (!needsUser(session.state) || (!notify_ && !held)) {
            if (it != shown_.end()) withdraw(session.id);
            continue;
        }
        if (it == shown_.end() || it->second.state != session.state) {
            post(session, held);
            shown_[session.id] = Shown{session.state, heldId, true};
        } else if (heldId != it->second.approvalId) {
            if (held) {
                post(session, held);  // a request arrived, or a newer one replaced it
                it->second = Shown{session.state, heldId, true};
            } else {
                // Released: answered in the terminal or on the phone, or expired. The session
                // may still show its dialog, but the notification's buttons would reach nobody.
                if (it->second.open) service_->close(session.id);
                it->second = Shown{session.state, std::nullopt, false};
            }
        }
    }
    std::vector<std::string> gone;
    for (const auto& [id, shown] : shown_) {
        if (!live.count(id)) gone.push_back(id);
    }
    for (const auto& id : gone) withdraw(id);
}

void DesktopNotifier::post(const AgentSession& session, const PendingApproval* held) {
    DesktopNotification notification;
    notification.summary = summary(session);
    notification.body = body(session);
    notification.mascot = session.state;
    if (held) {
        notification.actions.emplace_back(actionKey("allow", held->id), kAllow);
        if (held->suggestions && !held->suggestions->empty()) {
            notification.actions.emplace_back(actionKey("always", held->id), kAlwaysAllow);
        }
        notification.actions.emplace_back(actionKey("deny", held->id), kDeny);
    }
    service_->show(session.id, notification);
}

void DesktopNotifier::withdraw(const std::string& sessionId) {
    const auto it = shown_.find(sessionId);
    if (it == shown_.end()) return;
    if (it->second.open) service_->close(sessionId);
    shown_.erase(it);
}

void DesktopNotifier::actionInvoked(const std::string& sessionId, const std::string& action) {
    // Servers should take a notification away with its click, but not all do (dunst's menu
    // leaves it): it is withdrawn with its request or state like any other.
    if (action == DesktopNotifications::kBodyClicked) {
        if (focus_) focus_(sessionId);
        return;
    }
    const auto colon = action.find(':');
    if (colon == std::string::npos) return;
    const std::string decision = action.substr(0, colon);
    if (decision != "allow" && decision != "always" && decision != "deny") return;
    // A request answered elsewhere first is no longer waiting: the click changes nothing.
    (void)gate_->decide(action.substr(colon + 1), decision);
}

}  // namespace brimwick
