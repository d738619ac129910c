// `brimwick hooks install|remove|status`: the hook installer for people without a desktop
// session, with the same texts the menu's alerts show.
#pragma once

#include <ostream>
#include <string>
#include <string_view>

#include "hooks/hook_installer.h"
#include "platform/home.h"

namespace brimwick {

inline constexpr std::string_view kConnectedAlertTitle = "Connected to Claude Code";
inline constexpr std::string_view kInstallFailedAlertTitle = "Couldn't install hooks";
inline constexpr std::string_view kRemoveFailedAlertTitle = "Couldn't remove hooks";

// The informative text of the "Connected to Claude Code" alert for what an install wrote.
std::string connectedAlertText(const hook_installer::Installed& installed);

// `args` are the words after "hooks" (argv[2] onwards of the process). Install prints the
// success alert's title and text; a failure prints the failure alert's title and the error's
// description to `err` and gives 1; status prints "installed", "installed (outdated)" or
// "not installed"; bad usage gives 2. Works on `home`'s .claude/settings.json.
int runHooksCli(int argc, char** argv, std::ostream& out, std::ostream& err,
                const std::string& home = homeDirectory());

}  // namespace brimwick
