#include "sessions/session_focus.h"

#include <unordered_map>

namespace brimwick {

SessionFocus::SessionFocus(const ProcessTable& processes, WindowList& windows)
    : processes_(processes), windows_(windows) {}

std::optional<HostApp> SessionFocus::hostApp(std::int32_t pid) {
    if (pid < 2) return std::nullopt;  // spare the display a round trip for the obvious cases

    // One listing answers every step of the walk.
    std::unordered_map<std::int32_t, HostApp> apps;
    for (const auto& window : windows_.windows()) {
        auto& app = apps[window.pid];
        app.pid = window.pid;
        if (!app.name && !window.className.empty()) app.name = window.className;
        app.windows.push_back(window.id);
    }

    std::int32_t p = pid;
    for (int examined = 0; examined < kMaxProcesses; ++examined) {
        if (p < 2) return std::nullopt;
        if (auto found = apps.find(p); found != apps.end()) {
            HostApp app = std::move(found->second);
            if (!app.name) app.name = processes_.nameOf(p);
            if (app.name && app.name->empty()) app.name.reset();
            return app;
        }
        const auto parent = processes_.parentOf(p);
        if (!parent || *parent == p) return std::nullopt;
        p = *parent;
    }
    return std::nullopt;
}

std::optional<std::string> SessionFocus::hostAppName(std::optional<std::int32_t> pid) {
    if (!pid) return std::nullopt;
    auto app = hostApp(*pid);
    if (!app) return std::nullopt;
    return app->name;
}

bool SessionFocus::bringForward(const AgentSession& session, Beeper& beeper) {
    return bringForward(session.hostPID, beeper);
}

bool SessionFocus::bringForward(std::optional<std::int32_t> hostPID, Beeper& beeper) {
    const auto app = hostPID ? hostApp(*hostPID) : std::nullopt;
    bool activated = app.has_value();
    if (app) {
        // Like bringing all of an application's windows forward: each in stacking order, so the
        // one the user saw last ends up on top with the focus.
        for (const auto window : app->windows) activated = windows_.activate(window) && activated;
    }
    if (!activated) beeper.beep();
    return activated;
}

}  // namespace brimwick
