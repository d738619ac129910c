// Texts that more than one component shows, kept in one place so they cannot drift apart.
#pragma once

namespace brimwick::shared_text {

// A server's status line before it has said anything of its own.
inline constexpr const char* kStarting = "Starting\u2026";
// The answer to a phone whose request reached a part of Brimwick that is already gone.
inline constexpr const char* kNotReady = "Brimwick isn't ready";

}  // namespace brimwick::shared_text
