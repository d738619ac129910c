// DesktopShell: the two desktop pieces a window-manager-less test display lacks for the desktop
// app — a compositing manager (translucent windows) and a system tray host (the tray icon).
#pragma once

#include <memory>
#include <string>

#include "support/child_process.h"

namespace brimwick::testing {

// Starts `xcompmgr -n` and `trayer` (docked at the top right, 24 pixels high) on `display` and
// waits until both have taken their selections, so a program started afterwards finds a tray
// and a compositor at once. Stops both on destruction. When either is not installed or does
// not come up, `available()` is false and `problem()` says why, for the skip message.
class DesktopShell {
  public:
    explicit DesktopShell(const std::string& display);
    ~DesktopShell();
    DesktopShell(const DesktopShell&) = delete;
    DesktopShell& operator=(const DesktopShell&) = delete;

    bool available() const { return problem_.empty(); }
    const std::string& problem() const { return problem_; }

  private:
    std::unique_ptr<ChildProcess> compositor_;
    std::unique_ptr<ChildProcess> trayHost_;
    std::string problem_;
};

}  // namespace brimwick::testing
