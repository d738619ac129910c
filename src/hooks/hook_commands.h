// The hook commands Brimwick installs into Claude Code's settings: which events, and the exact
// shell text each one runs to post its payload to the hook server.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace brimwick::hook_commands {

inline constexpr int kPort = 47821;

// "127.0.0.1:47821/hook", ".../permission", ".../stop".
std::string endpoint();
std::string permissionEndpoint();
std::string stopEndpoint();

// The eleven installed events, in the order they are written.
inline constexpr std::array<std::string_view, 11> kEvents = {
    "SessionStart",       "SessionEnd",        "UserPromptSubmit", "PreToolUse", "PostToolUse",
    "PostToolUseFailure", "PermissionRequest", "Notification",     "PreCompact", "Stop",
    "StopFailure"};

// Events whose group carries the matcher "*".
inline constexpr std::array<std::string_view, 4> kToolEvents = {
    "PreToolUse", "PostToolUse", "PostToolUseFailure", "PermissionRequest"};

std::string permissionCommand();
std::string stopCommand();

// The command text for an event: the permission and stop commands keep standard output (the
// server's answer); every other event discards both outputs.
std::string commandFor(std::string_view event);

// Hook timeout in seconds, always longer than the command's own curl limit.
int timeoutFor(std::string_view event);

bool isToolEvent(std::string_view event);

}  // namespace brimwick::hook_commands
