// HookEvent: one decoded Claude Code hook payload. Every consumer works from this record,
// never from the raw JSON. Decoding is tolerant: a missing or mistyped key leaves its field empty.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>


namespace brimwick {

struct HookEvent {
    // Longer session ids or working directories are not from Claude Code: such an event is
    // ignored whole.
    static constexpr std::size_t kMaxSessionIdBytes = 256;
    static constexpr std::size_t kMaxPathBytes = 4096;

    std::string name;                   // "hook_event_name", or empty
    std::string sessionId = "default";  // "session_id"
    std::optional<std::string> cwd;
    std::optional<std::string> toolName;
    std::optional<std::string> message;
    std::optional<std::string> notificationType;
    std::optional<std::string> source;
    std::optional<std::string> state;     // "state", lower-cased: a display state by name
    std::optional<std::int32_t> hostPID;    // from the X-Claude-PID header, never the payload
    std::optional<std::string> toolDetail;  // one-line summary of "tool_input"
    // The allow rules, addDirectories and acceptEdits setMode suggestions, in order.
    std::optional<std::vector<nlohmann::json>> permissionSuggestions;
    std::optional<std::string> prompt;

    bool operator==(const HookEvent&) const = default;

    // Decodes a top-level payload object. Nothing when it is not an object, or when it has
    // neither an event name nor a "state" text.
    static std::optional<HookEvent> fromJson(const nlohmann::json& object);

    // Decodes a hook's request body: what fromJson gives for it, or nothing when the body is not
    // JSON or nests deeper than any real payload.
    static std::optional<HookEvent> fromBody(std::string_view body);

    // The summary of a tool input: the first non-empty of the well-known keys, else the first
    // text value; cut to 400 characters.
    static std::optional<std::string> detail(const nlohmann::json* toolInput);
};

}  // namespace brimwick
