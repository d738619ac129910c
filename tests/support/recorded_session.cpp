#include "support/recorded_session.h"

#include <gtest/gtest.h>

#include <fstream>

namespace brimwick::testing {

std::vector<std::string> recordedPayloads() {
    std::ifstream in(BRIMWICK_SOURCE_DIR "/../shared/fixtures/claude-code-hook-payloads.jsonl");
    EXPECT_TRUE(in) << "the recorded hook payloads are missing";
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty()) lines.push_back(line);
    }
    return lines;
}

std::vector<nlohmann::json> recordedPayloadsJson() {
    std::vector<nlohmann::json> parsed;
    for (const auto& line : recordedPayloads()) parsed.push_back(nlohmann::json::parse(line));
    return parsed;
}

std::string eventNameOf(const std::string& payload) {
    return nlohmann::json::parse(payload).value("hook_event_name", "");
}

}  // namespace brimwick::testing
