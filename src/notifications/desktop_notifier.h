// DesktopNotifier: desktop notifications for sessions that need the user (approval, question,
// error), and the desktop as one more answerer of the approval gate: while "Approve from
// desktop" is on and the notification server has buttons, an approval notification carries
// Allow, Always allow (when the request has suggestions) and Deny, and the gate holds the
// request for them.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "approvals/approval_gate.h"
#include "core/coalesced_task.h"
#include "core/main_queue.h"
#include "core/preferences.h"
#include "core/signal.h"
#include "platform/desktop_notifications.h"
#include "sessions/session_store.h"

namespace brimwick {

// Main thread only. The queue, the preferences and the service (which may be null: no
// notifications at all) must outlive the notifier. A notification follows its session: it is
// shown when the session enters a state that needs the user, and withdrawn when the session
// leaves that state or ends, and an approval notification with buttons as soon as its request
// is released (answered anywhere, replaced, expired). A notification the user dismissed is no
// answer: the request keeps waiting.
class DesktopNotifier : public std::enable_shared_from_this<DesktopNotifier> {
  public:
    static constexpr const char* kNotifyKey = "notifySessions";
    static constexpr const char* kApprovalsKey = "desktopApprovals";
    static constexpr const char* kAllow = "Allow";
    static constexpr const char* kAlwaysAllow = "Always allow";
    static constexpr const char* kDeny = "Deny";

    using Focus = std::function<void(const std::string& sessionId)>;

    // Reads the switches, joins the gate as an answerer and follows the store and the gate.
    static std::shared_ptr<DesktopNotifier> create(MainQueue& queue, Preferences& preferences,
                                                   std::shared_ptr<SessionStore> store,
                                                   std::shared_ptr<ApprovalGate> gate,
                                                   DesktopNotifications* service, Focus focus);
    ~DesktopNotifier();

    bool notifyEnabled() const { return notify_; }
    bool approveFromDesktop() const { return approve_; }
    NotificationSupport support() const;
    // Desktop approvals are on and the server shows buttons that reach us.
    bool canAnswer() const;
    // Why desktop approvals are switched on but cannot be given; nothing otherwise.
    std::optional<std::string> unavailableReason() const;

    void setNotifyEnabled(bool on);
    void setApproveFromDesktop(bool on);  // off releases what only the desktop could answer

    // The texts of a session's notification.
    static std::string summary(const AgentSession& session);
    static std::string body(const AgentSession& session);

    // Emitted when a switch or the server's support changed.
    Signal<> changed;

  private:
    // What is shown for a session.
    struct Shown {
        BotState state;
        std::optional<std::string> approvalId;  // the request its buttons answer
        bool open = true;                       // not yet withdrawn or dismissed
    };

    DesktopNotifier(MainQueue& queue, Preferences& preferences, std::shared_ptr<SessionStore> store,
                    std::shared_ptr<ApprovalGate> gate, DesktopNotifications* service, Focus focus);
    void follow();
    void reconcile();
    void post(const AgentSession& session, const PendingApproval* held);
    void withdraw(const std::string& sessionId);
    void actionInvoked(const std::string& sessionId, const std::string& action);
    const PendingApproval* heldFor(const std::string& sessionId) const;

    Preferences& preferences_;
    std::shared_ptr<SessionStore> store_;
    std::shared_ptr<ApprovalGate> gate_;
    DesktopNotifications* service_;
    Focus focus_;
    bool notify_;
    bool approve_;
    std::map<std::string, Shown> shown_;  // by session id, which is also the notification's key
    CoalescedTask update_;
    std::vector<Subscription> subscriptions_;
};

}  // namespace brimwick
