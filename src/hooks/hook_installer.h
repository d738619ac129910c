// hook_installer: writes, refreshes and removes Brimwick's hook commands in Claude Code's user
// settings file (~/.claude/settings.json), leaving every other setting and foreign hook alone.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "core/result.h"
#include "hooks/hook_commands.h"
#include "platform/home.h"

namespace brimwick {

// Operations only: no state between calls; the file is read fresh
// every time. Every operation takes the home directory so tests can point it at a scratch
// folder; by default it is the user's. Not safe against two writers at once (last one wins),
// but a crash or kill at any point leaves a complete old or new file behind.
//
// Our entries are recognised by the hook server's address inside their command text, so
// commands written by earlier versions are found and replaced too.
namespace hook_installer {

inline constexpr const auto& events = hook_commands::kEvents;
inline constexpr const auto& toolEvents = hook_commands::kToolEvents;

// Error code of the one installer-specific failure; any other code is a file-system error
// ("read", "write") whose message already names the file and the system's reason.
inline constexpr std::string_view kUnreadableCode = "unreadable";
inline constexpr std::string_view kUnreadableDescription =
    "~/.claude/settings.json isn't valid JSON or has an unexpected hooks layout, so Brimwick "
    "left it alone. Fix the file and try again.";
Error unreadable();

// Files bigger than this, or nested deeper than kMaxDepth, are treated as unreadable.
inline constexpr std::size_t kMaxFileBytes = 16 * 1024 * 1024;
inline constexpr int kMaxDepth = 512;

std::string settingsPath(const std::string& home = homeDirectory());
std::string backupPath(const std::string& home = homeDirectory());

// What an install wrote: the settings file, and whether a previous one was kept as the backup.
struct Installed {
    std::string settingsPath;
    bool backedUp = false;
};

// Installs or refreshes our group for each of `events` (foreign groups first, ours last).
// Fails with `unreadable` (file untouched) or a file system error (the old file stays in
// place).
Result<Installed> install(const std::string& home = homeDirectory());

// Removes every one of our hook objects under any event, dropping groups, event keys and
// the "hooks" key that end up empty. Writes nothing (and makes no backup) when there is
// nothing of ours to remove. Fails like install().
Result<void> uninstall(const std::string& home = homeDirectory());

// True when any of our groups is present. False on any error.
bool isInstalled(const std::string& home = homeDirectory());

// True when one of our groups holds a hook whose command is missing or differs from the
// command install() would write now. False on any error.
bool isOutdated(const std::string& home = homeDirectory());

// The command text for an event (see hook_commands.h).
inline std::string command(std::string_view event) {
    return hook_commands::commandFor(event);
}

// --- Building blocks, public for tests. ---

// The whole settings object; an empty object when the file is missing or zero bytes.
Result<nlohmann::json> load(const std::string& home = homeDirectory());

// Writes `settings` through any symbolic link at the settings path: backs up the current
// file first (true when there was one), keeps its permission bits, and replaces it
// atomically.
Result<bool> save(const nlohmann::json& settings, const std::string& home = homeDirectory());

// The groups of one event's value with our hook objects taken out (groups left empty are
// dropped). `value` null means absent. A value that isn't an array of objects is
// `unreadable`.
Result<nlohmann::json> withoutOurs(const nlohmann::json* value);

bool isOurHook(const nlohmann::json& hook);
bool isOurs(const nlohmann::json& group);

// The group install() writes for an event.
nlohmann::json groupFor(std::string_view event);

}  // namespace hook_installer

}  // namespace brimwick
