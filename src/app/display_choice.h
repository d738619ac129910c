// DisplayChoice: decides, before the toolkit starts, which display the desktop face runs on —
// always X11 (XWayland on Wayland sessions, so the island can place itself) — or why it can't.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace brimwick {

struct DisplayChoice {
    // The toolkit platform to force ("xcb"), or none to keep the one already chosen.
    std::optional<std::string> platform;
    // Empty when the desktop face can start; otherwise why not ("no display found (DISPLAY is
    // not set)").
    std::string problem;

    bool ok() const { return problem.empty(); }
    // The line printed when the desktop was insisted on and can't start.
    std::string refusal() const;
    // The line printed when the text face starts because the desktop can't.
    std::string fallbackNotice() const;
};

// Reads QT_QPA_PLATFORM, DISPLAY and WAYLAND_DISPLAY through `environment` (none = unset).
// `canOpen` is asked whether an X display can be reached; it is not asked when another
// platform was chosen explicitly.
DisplayChoice chooseDisplay(
    const std::function<std::optional<std::string>(const char* name)>& environment,
    const std::function<bool(const std::string& display)>& canOpen);

// The same for this process: its environment, and a real connection attempt.
DisplayChoice chooseDisplay();

// Whether an X server answers at `display` (as in $DISPLAY). Opens and closes one connection.
bool canOpenX11Display(const std::string& display);

}  // namespace brimwick
