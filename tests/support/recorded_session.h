// The hook payloads recorded from a real Claude Code session (the shared fixture), for tests
// that replay it.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace brimwick::testing {

// Every payload as it was sent, in order, one JSON text each (blank lines skipped). Fails the
// current test when the fixture is missing.
inline std::vector<std::string> recordedPayloads() {
    std::ifstream in(BRIMWICK_SOURCE_DIR "/../shared/fixtures/claude-code-hook-payloads.jsonl");
    EXPECT_TRUE(in) << "the recorded hook payloads are missing";
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) lines.push_back(line);
    return lines;
}

// A payload's "hook_event_name".
inline std::string eventNameOf(const std::string& payload) {
    return nlohmann::json::parse(payload).value("hook_event_name", "");
}

}  // namespace brimwick::testing
