// AppFace: what the App asks of the face that shows it — the desktop (tray
// menu, icon, alerts, pairing window) or the headless text output.
#pragma once

#include <optional>
#include <string>

#include "sessions/bot_state.h"

namespace brimwick {

class App;

// Main thread only.
class AppFace {
  public:
    virtual ~AppFace() = default;

    // The models exist (the hook server does not yet); the desktop creates its island and
    // status item here.
    virtual void modelsCreated(App&) {}
    // Something the menu shows changed (server status, sessions, phone link).
    virtual void rebuildMenu() = 0;
    // The session list changed; `state` is the most urgent session's, none when empty.
    virtual void showIconState(std::optional<BotState> state) = 0;
    // A modal alert; the app comes to the front first.
    virtual void alert(const std::string& title, const std::string& text) = 0;
    virtual void beep() = 0;
    virtual void showPairingWindow() {}
    virtual void closePairingWindow() {}
};

}  // namespace brimwick
