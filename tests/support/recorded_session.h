// The hook payloads recorded from a real Claude Code session (the shared fixture), for tests
// that replay it.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace brimwick::testing {

// Every payload as it was sent, in order, one JSON text each (blank lines skipped). Fails the
// current test when the fixture is missing.
std::vector<std::string> recordedPayloads();
// The same, parsed.
std::vector<nlohmann::json> recordedPayloadsJson();
// A payload's "hook_event_name".
std::string eventNameOf(const std::string& payload);

}  // namespace brimwick::testing
