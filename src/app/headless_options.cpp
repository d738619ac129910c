#include "app/headless_options.h"

#include "net/http_request.h"

namespace brimwick {
namespace {

constexpr long long kMaxDemo = 100;

Error usage(const std::string& message) {
    return Error{"usage", message};
}

}  // namespace

Result<HeadlessOptions> parseHeadlessOptions(const std::vector<std::string>& args) {
    HeadlessOptions options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        // Which face runs is settled before the options are read.
        if (arg == "--headless" || arg == "--desktop") continue;
        if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--demo") {
            long long count = 0;
            if (i + 1 >= args.size() || !parseDecimal(args[i + 1], count) || count < 0 ||
                count > kMaxDemo) {
                return usage("--demo needs a number of sessions from 0 to " +
                             std::to_string(kMaxDemo));
            }
            options.demo = static_cast<int>(count);
            ++i;
        } else if (arg == "--phone" || arg == "--no-phone") {
            options.phone = arg == "--phone";
        } else if (arg == "--approve-desktop") {
            if (i + 1 >= args.size() || (args[i + 1] != "on" && args[i + 1] != "off")) {
                return usage("--approve-desktop needs on or off");
            }
            options.approveDesktop = args[++i] == "on";
        } else if (arg == "--login-item") {
            if (i + 1 >= args.size() || (args[i + 1] != "on" && args[i + 1] != "off")) {
                return usage("--login-item needs on or off");
            }
            options.loginItem = args[++i] == "on";
        } else {
            return usage("unknown option " + arg);
        }
    }
    return options;
}

std::string headlessUsage() {
    return "Usage: brimwick [--headless | --desktop] [--demo N] [--phone | --no-phone]\n"
           "                [--approve-desktop on|off]\n"
           "       brimwick --headless --login-item on|off\n"
           "       brimwick hooks install|remove|status\n"
           "\n"
           "Follows Claude Code sessions through the hooks it runs. The headless face runs the\n"
           "hook server on 127.0.0.1:47821 without a display and prints one line per change:\n"
           "  hook server: <status>      the hook server's state\n"
           "  sessions: <list>           the sessions, most urgent first, as \"project: state\"\n"
           "  usage: <line>              plan usage as the menu shows it, one line each\n"
           "  phone: <status>            the phone link, with \"Pairing code: 123 456\" and the\n"
           "                             pairing URL while a code is valid, \"paired: <name>\"\n"
           "  notify: <summary> · <text> the desktop notification a session would get now;\n"
           "                             \"notify: withdrawn <summary>\" when it goes away\n"
           "\n"
           "Options:\n"
           "  --headless   run without a display, printing the state as text (the default\n"
           "               when no display can be opened)\n"
           "  --desktop    run the island and the tray icon, or fail when there is no display\n"
           "  --demo N     start N scripted demo sessions\n"
           "  --phone      switch the phone link on (remembered, as the menu's switch)\n"
           "  --no-phone   switch it off\n"
           "  --approve-desktop on|off\n"
           "               answer permission requests from desktop notifications or not\n"
           "               (remembered, as the menu's switch; the desktop face only)\n"
           "  --login-item on|off\n"
           "               open Brimwick at login or not, then exit\n"
           "  --help       show this text\n"
           "\n"
           "Commands:\n"
           "  hooks install   write Brimwick's hook commands into ~/.claude/settings.json\n"
           "  hooks remove    take them out again\n"
           "  hooks status    print installed, installed (outdated) or not installed\n";
}

}  // namespace brimwick
