// The desktop face's process entry: tray, menu and alerts on a Qt application, on the same
// application as the headless face.
#pragma once

namespace brimwick {

// Takes the same options as the headless face (help, option mistakes and --login-item are
// answered by it, without a display). Without a reachable X display it says so on standard
// error, points at --headless and returns 1. Otherwise runs until Quit, SIGINT or SIGTERM.
int runDesktop(int argc, char** argv);

}  // namespace brimwick
