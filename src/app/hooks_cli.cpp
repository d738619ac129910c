#include "app/hooks_cli.h"

#include "hooks/hook_installer.h"

namespace brimwick {
namespace {

constexpr std::string_view kUsage = "usage: brimwick hooks install|remove|status\n";

int fail(std::ostream& err, std::string_view title, const Error& error) {
    err << title << '\n' << error.message << '\n';
    return 1;
}

}  // namespace

std::string connectedAlertText(const std::string& settingsPath) {
    return "Hooks were added to " + settingsPath +
           " and your previous file was saved as settings.json.brimwick-backup. Running and new "
           "Claude Code sessions will now appear next to the notch.";
}

int runHooksCli(int argc, char** argv, std::ostream& out, std::ostream& err,
                const std::string& home) {
    if (argc != 1) {
        err << kUsage;
        return 2;
    }
    const std::string_view command = argv[0];
    if (command == "install") {
        auto path = hook_installer::install(home);
        if (!path.ok()) return fail(err, kInstallFailedAlertTitle, path.error());
        out << kConnectedAlertTitle << '\n' << connectedAlertText(*path) << '\n';
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
