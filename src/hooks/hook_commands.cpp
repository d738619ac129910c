#include "hooks/hook_commands.h"

#include <algorithm>

namespace brimwick::hook_commands {
namespace {

std::string address(const char* path) {
    return "127.0.0.1:" + std::to_string(kPort) + path;
}

// The part all three commands share; the shell expands $PPID to the Claude Code process.
const std::string& middle() {
    static const std::string text =
        " -H 'Content-Type: application/json' -H 'Expect:' -H \"X-Claude-PID: $PPID\""
        " --data-binary @- http://";
    return text;
}

}  // namespace

std::string endpoint() {
    return address("/hook");
}
std::string permissionEndpoint() {
    return address("/permission");
}
std::string stopEndpoint() {
    return address("/stop");
}

std::string permissionCommand() {
    return "curl -s -m 120" + middle() + permissionEndpoint() + " 2>/dev/null || true";
}

std::string stopCommand() {
    return "curl -s -m 10" + middle() + stopEndpoint() + " 2>/dev/null || true";
}

std::string commandFor(std::string_view event) {
    if (event == "PermissionRequest") return permissionCommand();
    if (event == "Stop") return stopCommand();
    return "curl -s -m 1" + middle() + endpoint() + " >/dev/null 2>&1 || true";
}

int timeoutFor(std::string_view event) {
    if (event == "PermissionRequest") return 125;
    if (event == "Stop") return 12;
    return 3;
}

bool isToolEvent(std::string_view event) {
    return std::find(kToolEvents.begin(), kToolEvents.end(), event) != kToolEvents.end();
}

}  // namespace brimwick::hook_commands
