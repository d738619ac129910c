#include "support/desktop_shell.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <thread>

#include "platform/terminal_opener.h"
#include "support/x_test_client.h"

namespace brimwick::testing {
namespace {

bool selectionOwned(XTestClient& client, const std::string& selection) {
    const xcb_atom_t atom = client.atom(selection);
    auto* reply = xcb_get_selection_owner_reply(
        client.connection(), xcb_get_selection_owner(client.connection(), atom), nullptr);
    const bool owned = reply && reply->owner != XCB_NONE;
    std::free(reply);
    return owned;
}

}  // namespace

DesktopShell::DesktopShell(const std::string& display) {
    const char* path = std::getenv("PATH");
    const std::string searchPath = path ? path : "/usr/bin:/bin";
    const auto xcompmgr = findExecutable("xcompmgr", searchPath);
    const auto trayer = findExecutable("trayer", searchPath);
    if (!xcompmgr || !trayer) {
        problem_ = !xcompmgr ? "xcompmgr is not installed" : "trayer is not installed";
        return;
    }
    XTestClient client(display);
    if (!client.connected()) {
        problem_ = "cannot connect to the X display " + display;
        return;
    }
    const std::map<std::string, std::string> env = {{"DISPLAY", display}};
    compositor_ = std::make_unique<ChildProcess>(std::vector<std::string>{*xcompmgr, "-n"}, env);
    trayHost_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{*trayer, "--edge", "top", "--align", "right", "--widthtype",
                                 "request", "--height", "24"},
        env);

    // Both announce themselves by owning a selection on screen 0. Waiting for another
    // program to start up; 20 ms steps keep the check cheap.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    bool compositing = false, tray = false;
    while (!(compositing && tray) && std::chrono::steady_clock::now() < deadline) {
        compositing = compositing || selectionOwned(client, "_NET_WM_CM_S0");
        tray = tray || selectionOwned(client, "_NET_SYSTEM_TRAY_S0");
        if (!(compositing && tray)) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (!compositing) problem_ = "xcompmgr did not start compositing";
    if (!tray) problem_ = "trayer did not take the system tray";
}

DesktopShell::~DesktopShell() {
    for (auto* child : {trayHost_.get(), compositor_.get()}) {
        if (child) child->stop(SIGTERM, 5);
    }
}

}  // namespace brimwick::testing
