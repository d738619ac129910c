#include "app/display_choice.h"

#include <xcb/xcb.h>

#include <cstdlib>

namespace brimwick {

std::string DisplayChoice::refusal() const {
    return "brimwick: " + problem +
           "; run \"brimwick --headless\" to follow sessions without a desktop";
}

std::string DisplayChoice::fallbackNotice() const {
    return "brimwick: " + problem +
           ", so sessions are followed as text; start \"brimwick --desktop\" where a display "
           "is available for the island and the tray icon";
}

DisplayChoice chooseDisplay(
    const std::function<std::optional<std::string>(const char* name)>& environment,
    const std::function<bool(const std::string& display)>& canOpen) {
    const auto set = [&](const char* name) -> std::optional<std::string> {
        auto value = environment(name);
        if (value && value->empty()) return std::nullopt;
        return value;
    };
    DisplayChoice choice;
    // A platform chosen by hand (offscreen in tests, for instance) is left alone, unless it is
    // xcb, which still needs a reachable display.
    const auto platform = set("QT_QPA_PLATFORM");
    if (platform && *platform != "xcb") return choice;

    const auto display = set("DISPLAY");
    if (!display) {
        choice.problem = set("WAYLAND_DISPLAY")
                             ? "this Wayland session has no XWayland display (DISPLAY is not set)"
                             : "no display found (DISPLAY is not set)";
        return choice;
    }
    if (!canOpen(*display)) {
        choice.problem = "can't open the display " + *display;
        return choice;
    }
    choice.platform = "xcb";
    return choice;
}

DisplayChoice chooseDisplay() {
    return chooseDisplay(
        [](const char* name) -> std::optional<std::string> {
            const char* value = std::getenv(name);
            if (!value) return std::nullopt;
            return std::string(value);
        },
        canOpenX11Display);
}

bool canOpenX11Display(const std::string& display) {
    xcb_connection_t* connection = xcb_connect(display.c_str(), nullptr);
    const bool ok = connection && xcb_connection_has_error(connection) == 0;
    if (connection) xcb_disconnect(connection);
    return ok;
}

}  // namespace brimwick
