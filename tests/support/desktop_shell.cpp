#include "support/desktop_shell.h"

#include <csignal>
#include <cstdlib>

#include "platform/terminal_opener.h"
#include "support/eventually.h"
#include "support/x_test_client.h"

namespace brimwick::testing {

DesktopShell::DesktopShell(const std::string& display) {
    const char* path = std::getenv("PATH");
    const auto xcompmgr = findExecutable("xcompmgr", path ? path : "/usr/bin:/bin");
    const auto trayer = findExecutable("trayer", path ? path : "/usr/bin:/bin");
    XTestClient client(display);
    if (!xcompmgr || !trayer || !client.connected()) {
        problem_ = !xcompmgr ? "xcompmgr is not installed"
                   : !trayer ? "trayer is not installed"
                             : "cannot connect to the X display " + display;
        return;
    }
    compositor_ =
        std::make_unique<ChildProcess>(std::vector<std::string>{*xcompmgr, "-n"},
                                       std::map<std::string, std::string>{{"DISPLAY", display}});
    trayHost_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{*trayer, "--edge", "top", "--align", "right", "--widthtype",
                                 "request", "--height", "24"},
        std::map<std::string, std::string>{{"DISPLAY", display}});
    // Both announce themselves by owning a selection on screen 0.
    const auto owned = [&](const char* selection) {
        auto* reply = xcb_get_selection_owner_reply(
            client.connection(),
            xcb_get_selection_owner(client.connection(), client.atom(selection)), nullptr);
        const bool found = reply && reply->owner != XCB_NONE;
        std::free(reply);
        return found;
    };
    if (!eventually([&] { return owned("_NET_WM_CM_S0"); }, 20)) {
        problem_ = "xcompmgr did not start compositing";
    } else if (!eventually([&] { return owned("_NET_SYSTEM_TRAY_S0"); }, 20)) {
        problem_ = "trayer did not take the system tray";
    }
}

DesktopShell::~DesktopShell() {
    for (auto* child : {trayHost_.get(), compositor_.get()}) {
        if (child) child->stop(SIGTERM, 5);
    }
}

}  // namespace brimwick::testing
