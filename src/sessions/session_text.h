// Session texts: the short descriptions the session store derives from hook events (the task a
// session works on, what its current tool is doing) and the state a tool puts a session in.
// Pure functions; any thread.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "sessions/bot_state.h"

namespace brimwick::session_text {

inline constexpr std::size_t kTaskLength = 160;         // characters
inline constexpr std::size_t kActivityLineLength = 80;  // characters

// The first line that is not empty (lines end at a line feed; a carriage return before it is
// not part of the line). Empty text when there is none.
std::string firstNonEmptyLine(std::string_view text);

// The host of an absolute URL (scheme://[userinfo@]host[:port][/?#...]), IPv6 literals without
// their brackets. Nothing when the text is not such a URL or its host is empty or malformed.
std::optional<std::string> urlHost(std::string_view url);

// The task shown for a prompt: its first non-blank line, cut to kTaskLength characters.
// Nothing when the prompt is absent or blank (the caller then keeps the old task).
std::optional<std::string> taskText(const std::optional<std::string>& prompt);

// What a tool is doing, e.g. "Running make test" or "Editing main.cpp". Nothing without a tool.
std::optional<std::string> activityText(const std::optional<std::string>& tool,
                                        const std::optional<std::string>& detail);

// searching for reading tools, question for tools that ask the user, working otherwise.
BotState stateForTool(const std::optional<std::string>& tool);

}  // namespace brimwick::session_text
