// DesktopNotifications: the desktop's notification server, as much of it as Brimwick uses:
// show a notification (with buttons when the server has them), take it back, and hear which
// button or body was clicked and when the user closed one.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "core/signal.h"
#include "sessions/bot_state.h"

namespace brimwick {

// What the notification server can do for us now.
enum class NotificationSupport {
    none,     // no server answers
    plain,    // notifications without buttons
    paused,   // buttons, but the user paused notifications (do not disturb)
    actions,  // notifications with buttons that reach us
};

struct DesktopNotification {
    std::string summary;
    std::string body;
    BotState mascot = BotState::approval;  // the icon: the mascot in this state
    // Buttons as (key, label), in order; the body's click always comes back as "default".
    std::vector<std::pair<std::string, std::string>> actions;
};

// Main thread only; callbacks arrive on it. Notifications are named by the caller's key: a
// second show() with a key replaces that notification, close() of an unknown key does nothing.
class DesktopNotifications {
  public:
    static constexpr const char* kBodyClicked = "default";

    virtual ~DesktopNotifications() = default;

    virtual NotificationSupport support() const = 0;
    virtual void show(const std::string& key, const DesktopNotification& notification) = 0;
    virtual void close(const std::string& key) = 0;

    // A button (its key) or the body ("default") was clicked; the server closes it by itself.
    std::function<void(const std::string& key, const std::string& action)> onAction;
    // The user dismissed it (or it expired on the server): it is gone, nothing was answered.
    std::function<void(const std::string& key)> onDismissed;
    // support() changed.
    Signal<> supportChanged;
};

}  // namespace brimwick
