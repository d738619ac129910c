#include "app/display_choice.h"

#include <xcb/xcb.h>

namespace brimwick {
namespace {

constexpr const char* kHeadlessHint =
    "; run \"brimwick --headless\" to follow sessions without a desktop";

}  // namespace

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
        choice.problem =
            set("WAYLAND_DISPLAY")
                ? std::string(
                      "brimwick: this Wayland session has no XWayland "
                      "display (DISPLAY is not set)") +
                      kHeadlessHint
                : std::string("brimwick: no display found (DISPLAY is not set)") + kHeadlessHint;
        return choice;
    }
    if (!canOpen(*display)) {
        choice.problem = "brimwick: can't open the display " + *display + kHeadlessHint;
        return choice;
    }
    choice.platform = "xcb";
    return choice;
}

bool canOpenX11Display(const std::string& display) {
    xcb_connection_t* connection = xcb_connect(display.c_str(), nullptr);
    const bool ok = connection && xcb_connection_has_error(connection) == 0;
    if (connection) xcb_disconnect(connection);
    return ok;
}

}  // namespace brimwick
