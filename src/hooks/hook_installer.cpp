#include "hooks/hook_installer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <filesystem>
#include <optional>

#include "core/atomic_file.h"
#include "core/json_input.h"

namespace brimwick {
namespace {

using nlohmann::json;

std::string directoryOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

const json* member(const json& object, const char* key) {
    if (!object.is_object()) return nullptr;
    const auto it = object.find(key);
    return it == object.end() ? nullptr : &*it;
}

bool isArrayOfObjects(const json& value) {
    if (!value.is_array()) return false;
    for (const auto& element : value) {
        if (!element.is_object()) return false;
    }
    return true;
}

// A group's "hooks" entries; a missing or non-array value counts as none.
const json& hooksOf(const json& group) {
    static const json none = json::array();
    const json* hooks = member(group, "hooks");
    return hooks && hooks->is_array() ? *hooks : none;
}

Error readError(const std::string& path, const std::string& reason) {
    return Error{"read", "Couldn't read " + path + ": " + reason};
}

// Reads at most `limit` + 1 bytes, so a runaway file can't exhaust memory. Gives nullopt when
// nothing is there. Opening non-blocking keeps a FIFO in place of the file from hanging us.
Result<std::optional<std::string>> readBounded(const std::string& path, std::size_t limit) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT) return std::optional<std::string>();
        return readError(path, systemErrorText(error));
    }
    struct stat info = {};
    if (::fstat(fd, &info) != 0) {
        const int error = errno;
        ::close(fd);
        return readError(path, systemErrorText(error));
    }
    if (!S_ISREG(info.st_mode)) {
        ::close(fd);
        return readError(path, S_ISDIR(info.st_mode) ? systemErrorText(EISDIR)
                                                     : std::string("not a regular file"));
    }
    std::string data;
    char buffer[65536];
    while (data.size() <= limit) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            const int error = errno;
            ::close(fd);
            return readError(path, systemErrorText(error));
        }
        if (n == 0) break;
        data.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return std::optional<std::string>(std::move(data));
}

// The parser itself is iterative, but copying, comparing and serialising a parsed value recurse,
// so a pathologically deep document is refused before it is parsed.
// Follows a chain of symbolic links at the last path component, so the file they end at is
// the one rewritten and the link itself survives. A dangling link gives the path it names.
Result<std::string> resolveLinks(std::string path) {
    for (int hop = 0; hop < 40; ++hop) {
        struct stat info = {};
        if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
        char target[PATH_MAX];
        const ssize_t n = ::readlink(path.c_str(), target, sizeof target);
        if (n < 0 || static_cast<std::size_t>(n) >= sizeof target) {
            return Error{"write", "Couldn't write " + path + ": " +
                                      systemErrorText(n < 0 ? errno : ENAMETOOLONG)};
        }
        const std::string next(target, static_cast<std::size_t>(n));
        path = next.starts_with('/') ? next : directoryOf(path) + "/" + next;
    }
    return Error{"write", "Couldn't write " + path + ": " + systemErrorText(ELOOP)};
}

}  // namespace

Error hook_installer::unreadable() {
    return Error{std::string(kUnreadableCode), std::string(kUnreadableDescription)};
}

std::string hook_installer::settingsPath(const std::string& home) {
    return home + "/.claude/settings.json";
}

std::string hook_installer::backupPath(const std::string& home) {
    return home + "/.claude/settings.json.brimwick-backup";
}

bool hook_installer::isOurHook(const json& hook) {
    const json* command = member(hook, "command");
    if (!command || !command->is_string()) return false;
    const auto& text = command->get_ref<const std::string&>();
    return text.find(hook_commands::endpoint()) != std::string::npos ||
           text.find(hook_commands::permissionEndpoint()) != std::string::npos ||
           text.find(hook_commands::stopEndpoint()) != std::string::npos;
}

bool hook_installer::isOurs(const json& group) {
    for (const auto& hook : hooksOf(group)) {
        if (hook.is_object() && isOurHook(hook)) return true;
    }
    return false;
}

json hook_installer::groupFor(std::string_view event) {
    json group = json::object();
    if (hook_commands::isToolEvent(event)) group["matcher"] = "*";
    group["hooks"] = json::array({json{{"type", "command"},
                                       {"command", command(event)},
                                       {"timeout", hook_commands::timeoutFor(event)}}});
    return group;
}

Result<json> hook_installer::withoutOurs(const json* value) {
    if (!value) return json::array();
    if (!isArrayOfObjects(*value)) return unreadable();
    json kept = json::array();
    for (const auto& group : *value) {
        if (!isOurs(group)) {
            kept.push_back(group);
            continue;
        }
        json rest = json::array();
        for (const auto& hook : hooksOf(group)) {
            if (!(hook.is_object() && isOurHook(hook))) rest.push_back(hook);
        }
        if (rest.empty()) continue;
        json shortened = group;
        shortened["hooks"] = std::move(rest);
        kept.push_back(std::move(shortened));
    }
    return kept;
}

Result<json> hook_installer::load(const std::string& home) {
    auto data = readBounded(settingsPath(home), kMaxFileBytes);
    if (!data.ok()) return data.error();
    if (!data->has_value() || (*data)->empty()) return json::object();
    const std::string& text = **data;
    if (text.size() > kMaxFileBytes) return unreadable();
    // The parser also rejects text that isn't UTF-8, so everything loaded can be written back.
    json settings = parseJsonInput(text, kMaxDepth);
    if (settings.is_discarded() || !settings.is_object()) return unreadable();
    return settings;
}

Result<bool> hook_installer::save(const json& settings, const std::string& home) {
    auto resolved = resolveLinks(settingsPath(home));
    if (!resolved.ok()) return resolved.error();
    const std::string target = *resolved;

    std::error_code failure;
    std::filesystem::create_directories(directoryOf(target), failure);
    if (failure) {
        return Error{"write", "Couldn't create " + directoryOf(target) + ": " + failure.message()};
    }

    std::optional<mode_t> mode;
    struct stat info = {};
    if (::stat(target.c_str(), &info) == 0) {
        mode = info.st_mode & 07777;
        auto old = readFile(target);
        if (!old.ok()) return old.error();
        // The backup replaces the previous one atomically (rather than delete-then-copy) so a
        // crash never leaves no backup at all; it keeps the settings' mode since it holds the
        // same, possibly secret, values. A directory in its way is removed if it can be.
        const std::string backup = backupPath(home);
        struct stat backupInfo = {};
        if (::lstat(backup.c_str(), &backupInfo) == 0 && S_ISDIR(backupInfo.st_mode)) {
            std::filesystem::remove(backup, failure);
        }
        removeAbandonedTemporaries(backup);
        if (auto copied = writeFileAtomically(backup, *old, mode); !copied.ok()) {
            return copied.error();
        }
    }

    std::string data;
    try {
        data = settings.dump(2, ' ', /*ensure_ascii=*/false, json::error_handler_t::strict) + "\n";
    } catch (const json::exception& error) {
        return Error{"write", "Couldn't write " + target + ": " + error.what()};
    }

    // The permission bits are given to the new file before it replaces the old one, so there
    // is no moment when a 0600 file is readable by others.
    removeAbandonedTemporaries(target);
    if (auto written = writeFileAtomically(target, data, mode); !written.ok()) {
        return written.error();
    }
    return mode.has_value();
}

Result<hook_installer::Installed> hook_installer::install(const std::string& home) {
    auto loaded = load(home);
    if (!loaded.ok()) return loaded.error();
    json settings = std::move(*loaded);

    json hooks = json::object();
    if (const json* existing = member(settings, "hooks"); existing && existing->is_object()) {
        hooks = *existing;
    }
    // Our entries under an event name we no longer install (an earlier version's) would keep
    // posting to us and leave the file outdated however often it is refreshed, so they go, as
    // uninstall() takes them; the user's hooks beside them stay.
    for (auto it = hooks.begin(); it != hooks.end();) {
        const bool installed = std::find(events.begin(), events.end(), it.key()) != events.end();
        if (installed || !isArrayOfObjects(*it) ||
            std::none_of(it->begin(), it->end(), [](const json& group) { return isOurs(group); })) {
            ++it;
            continue;
        }
        auto cleaned = withoutOurs(&*it);
        if (cleaned->empty()) {
            it = hooks.erase(it);
        } else {
            *it = std::move(*cleaned);
            ++it;
        }
    }
    for (const auto event : events) {
        const std::string key(event);
        auto groups = withoutOurs(member(hooks, key.c_str()));
        if (!groups.ok()) return groups.error();
        groups->push_back(groupFor(event));
        hooks[key] = std::move(*groups);
    }
    settings["hooks"] = std::move(hooks);

    auto saved = save(settings, home);
    if (!saved.ok()) return saved.error();
    return Installed{settingsPath(home), *saved};
}

Result<void> hook_installer::uninstall(const std::string& home) {
    auto loaded = load(home);
    if (!loaded.ok()) return loaded.error();
    json settings = std::move(*loaded);

    const json* existing = member(settings, "hooks");
    if (!existing || !existing->is_object()) return {};
    json hooks = *existing;

    bool foundOurs = false;
    for (auto it = hooks.begin(); it != hooks.end();) {
        if (!isArrayOfObjects(*it)) {
            ++it;
            continue;
        }
        for (const auto& group : *it) foundOurs = foundOurs || isOurs(group);
        auto cleaned = withoutOurs(&*it);
        if (cleaned->empty()) {
            it = hooks.erase(it);
        } else {
            *it = std::move(*cleaned);
            ++it;
        }
    }
    // Leave the file, and its backup, exactly as they were when there is nothing of ours.
    if (!foundOurs) return {};

    if (hooks.empty()) {
        settings.erase("hooks");
    } else {
        settings["hooks"] = std::move(hooks);
    }
    if (auto saved = save(settings, home); !saved.ok()) return saved.error();
    return {};
}

namespace {

// Whether `test(event, group)` holds for any of our groups in the settings file; false when the
// file cannot be read or has no "hooks" object.
template <typename Test>
bool anyOfOurGroups(const Result<json>& loaded, Test test) {
    if (!loaded.ok()) return false;
    const json* hooks = member(*loaded, "hooks");
    if (!hooks || !hooks->is_object()) return false;
    for (const auto& [event, value] : hooks->items()) {
        if (!isArrayOfObjects(value)) continue;
        for (const auto& group : value) {
            if (hook_installer::isOurs(group) && test(event, group)) return true;
        }
    }
    return false;
}

}  // namespace

bool hook_installer::isInstalled(const std::string& home) {
    return anyOfOurGroups(load(home), [](const std::string&, const json&) { return true; });
}

bool hook_installer::isOutdated(const std::string& home) {
    return anyOfOurGroups(load(home), [](const std::string& event, const json& group) {
        const std::string expected = command(event);
        for (const auto& hook : hooksOf(group)) {
            if (!hook.is_object()) continue;
            const json* text = member(hook, "command");
            if (!text || !text->is_string() || *text != expected) return true;
        }
        return false;
    });
}

}  // namespace brimwick
