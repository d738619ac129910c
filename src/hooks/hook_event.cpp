#include "hooks/hook_event.h"

#include <array>
#include <string_view>

#include "core/json_input.h"
#include "core/text.h"

namespace brimwick {
namespace {

constexpr std::size_t kDetailLength = 400;
// What is kept of a hook's texts: far more than any display shows, little enough that a flood of
// huge posts cannot make the process (or the phones' snapshots) grow without bound.
constexpr std::size_t kMaxPromptBytes = 16 * 1024;
constexpr std::size_t kMaxTextBytes = 1024;
constexpr std::size_t kMaxSuggestionBytes = 64 * 1024;

std::optional<std::string> textAt(const nlohmann::json& object, const char* key,
                                  std::size_t maxBytes = kMaxTextBytes) {
    const auto it = object.find(key);
    if (it == object.end() || !it->is_string()) return std::nullopt;
    return text::prefixBytes(it->get_ref<const std::string&>(), maxBytes);
}

// Whether a text member is absent or within `maxBytes`: an event naming a session or folder
// longer than any real one is not from Claude Code, and is ignored whole.
bool withinBytes(const nlohmann::json& object, const char* key, std::size_t maxBytes) {
    const auto it = object.find(key);
    return it == object.end() || !it->is_string() ||
           it->get_ref<const std::string&>().size() <= maxBytes;
}

bool hasText(const nlohmann::json& object, const char* key, std::string_view expected) {
    const auto it = object.find(key);
    return it != object.end() && it->is_string() && it->get_ref<const std::string&>() == expected;
}

// What "Always allow" may hand back: allow rules, more folders, and the switch to accept-edits
// mode that Claude Code pairs with a folder for file-creating commands (without it the same
// command asks again). No other mode, whatever else the suggestion says.
bool grantsAlways(const nlohmann::json& suggestion) {
    if (hasText(suggestion, "type", "setMode")) return hasText(suggestion, "mode", "acceptEdits");
    return hasText(suggestion, "behavior", "allow") ||
           hasText(suggestion, "type", "addDirectories");
}

std::optional<std::vector<nlohmann::json>> suggestions(const nlohmann::json& object) {
    const auto it = object.find("permission_suggestions");
    if (it == object.end() || !it->is_array()) return std::nullopt;
    std::vector<nlohmann::json> kept;
    for (const auto& element : *it) {
        if (!element.is_object()) return std::nullopt;
        if (grantsAlways(element)) kept.push_back(element);
    }
    // They are held with the request and sent back verbatim: more than a real request carries
    // means no "always" at all rather than megabytes held per session.
    if (nlohmann::json(kept).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace).size() >
        kMaxSuggestionBytes) {
        return std::nullopt;
    }
    return kept;
}

}  // namespace

std::optional<std::string> HookEvent::detail(const nlohmann::json* toolInput) {
    if (!toolInput || !toolInput->is_object()) return std::nullopt;
    static constexpr std::array<const char*, 9> kKeys = {"command", "file_path", "notebook_path",
                                                         "url",     "pattern",   "path",
                                                         "query",   "prompt",    "description"};
    for (const char* key : kKeys) {
        // Cut by characters below, whatever their size in bytes.
        auto value = textAt(*toolInput, key, std::string::npos);
        if (value && !value->empty()) return text::prefix(*value, kDetailLength);
    }
    // No well-known key: the first text value in key order (nlohmann objects are sorted).
    for (const auto& [key, value] : toolInput->items()) {
        if (value.is_string()) {
            return text::prefix(value.get_ref<const std::string&>(), kDetailLength);
        }
    }
    return std::nullopt;
}

std::optional<HookEvent> HookEvent::fromJson(const nlohmann::json& object) {
    if (!object.is_object()) return std::nullopt;
    HookEvent event;
    event.name = textAt(object, "hook_event_name").value_or("");
    if (auto state = textAt(object, "state")) event.state = text::lowercased(*state);
    if (event.name.empty() && !event.state) return std::nullopt;
    if (!withinBytes(object, "session_id", kMaxSessionIdBytes) ||
        !withinBytes(object, "cwd", kMaxPathBytes)) {
        return std::nullopt;
    }

    event.sessionId = textAt(object, "session_id").value_or("default");
    event.cwd = textAt(object, "cwd", kMaxPathBytes);
    if (auto tool = textAt(object, "tool_name")) event.toolName = text::displayable(*tool);
    event.message = textAt(object, "message");
    event.notificationType = textAt(object, "notification_type");
    event.source = textAt(object, "source");
    const auto input = object.find("tool_input");
    event.toolDetail = detail(input == object.end() ? nullptr : &*input);
    event.permissionSuggestions = suggestions(object);
    event.prompt = textAt(object, "prompt", kMaxPromptBytes);
    return event;
}

std::optional<HookEvent> HookEvent::fromBody(std::string_view body) {
    return fromJson(parseJsonInput(body));
}

}  // namespace brimwick
