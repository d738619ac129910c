#include "app/headless_options.h"

#include "hooks/http_request.h"

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
        if (arg == "--headless") continue;
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
        } else {
            return usage("unknown option " + arg);
        }
    }
    return options;
}

std::string headlessUsage() {
    return "Usage: brimwick [--headless] [--demo N]\n"
           "       brimwick hooks install|remove|status\n"
           "\n"
           "Follows Claude Code sessions through the hooks it runs. The headless face runs the\n"
           "hook server on 127.0.0.1:47821 without a display and prints one line per change:\n"
           "  hook server: <status>      the hook server's state\n"
           "  sessions: <list>           the sessions, most urgent first, as \"project: state\"\n"
           "  usage: <line>              plan usage as the menu shows it, one line each\n"
           "\n"
           "Options:\n"
           "  --headless   run without a display (the only face so far)\n"
           "  --demo N     start N scripted demo sessions\n"
           "  --help       show this text\n"
           "\n"
           "Commands:\n"
           "  hooks install   write Brimwick's hook commands into ~/.claude/settings.json\n"
           "  hooks remove    take them out again\n"
           "  hooks status    print installed, installed (outdated) or not installed\n";
}

}  // namespace brimwick
