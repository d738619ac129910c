#include "app/hooks_cli.h"

namespace brimwick {
namespace {

constexpr std::string_view kUsage = "usage: brimwick hooks install|remove|status\n";

int fail(std::ostream& err, std::string_view title, const Error& error) {
    err << title << '\n' << error.message << '\n';
    return 1;
}

}  // namespace

std::string connectedAlertText(const hook_installer::Installed& installed) {
    // The backup is only spoken of when there was a previous file to keep.
    return "Hooks were added to " + installed.settingsPath +
           (installed.backedUp
                ? " and your previous file was saved as settings.json.brimwick-backup."
                : ".") +
           " Running and new Claude Code sessions will now appear in the island at the top of "
           "the screen.";
}

int runHooksCli(int argc, char** argv, std::ostream& out, std::ostream& err,
                const std::string& home) {
    if (argc != 1) {
        err << kUsage;
        return 2;
    }
    const std::string_view command = argv[0];
    if (command == "install") {
        auto installed = hook_installer::install(home);
        if (!installed.ok()) return fail(err, kInstallFailedAlertTitle, installed.error());
        out << kConnectedAlertTitle << '\n' << connectedAlertText(*installed) << '\n';
        return 0;
    }
    if (command == "remove") {
        auto removed = hook_installer::uninstall(home);
        if (!removed.ok()) return fail(err, kRemoveFailedAlertTitle, removed.error());
        return 0;
    }
    if (command == "status") {
        if (!hook_installer::isInstalled(home)) {
            out << "not installed\n";
        } else if (hook_installer::isOutdated(home)) {
            out << "installed (outdated)\n";
        } else {
            out << "installed\n";
        }
        return 0;
    }
    err << kUsage;
    return 2;
}

}  // namespace brimwick
