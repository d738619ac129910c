// The headless face as a user runs it: the real executable on the fixed hook port, hooks
// installed with its command line, a recorded Claude Code session replayed through the
// installed commands (sh and curl), and a phone stand-in on loopback approving its request.
#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <future>
#include <nlohmann/json.hpp>

#include "support/child_process.h"
#include "support/phone_client.h"
#include "support/recorded_session.h"
#include "support/scratch_folder.h"

namespace brimwick {

using testing::ChildProcess;
using testing::phoneRequest;

class HeadlessTest : public ::testing::Test {
  protected:
    ChildProcess start(std::vector<std::string> args) {
        args.insert(args.begin(), BRIMWICK_BINARY);
        return ChildProcess(args, env);
    }
    // The status once its version is past `version`, or at once when none is given.
    testing::PhoneAnswer status(const std::string& token, std::optional<long long> version = {}) {
        const std::string query = version ? "?v=" + std::to_string(*version) : "";
        return phoneRequest(phonePort, "GET", "/status" + query, token);
    }

    testing::ScratchFolder scratch{"brimwick-e2e"};
    const std::filesystem::path& home = scratch.path();
    const std::uint16_t phonePort = testing::freeLoopbackPort();
    const std::map<std::string, std::string> env = {
        {"HOME", home.string()},
        {"XDG_CONFIG_HOME", (home / "config").string()},
        {"BRIMWICK_PHONE_PORT", std::to_string(phonePort)},
        {"BRIMWICK_USAGE_URL", "http://127.0.0.1:9/api/oauth/usage"},
        {"DISPLAY", ""}};
};

TEST_F(HeadlessTest, RecordedSessionWithAPhoneApprovingItsPermissionRequest) {
    {
        ChildProcess install({BRIMWICK_BINARY, "hooks", "install"}, env);
        EXPECT_TRUE(install.waitForLine("Connected to Claude Code"));
        EXPECT_EQ(install.stop(0), 0);
    }
    const auto settings = nlohmann::json::parse(std::ifstream(home / ".claude/settings.json"));
    const auto payloads = testing::recordedPayloads();
    ASSERT_GE(payloads.size(), 7u);
    const auto run = [&](std::size_t index) {
        const auto event = testing::eventNameOf(payloads[index]);
        return testing::runShell(
            settings["hooks"][event].back()["hooks"][0]["command"].get<std::string>(),
            payloads[index]);
    };

    ChildProcess app({BRIMWICK_BINARY, "--headless", "--phone"}, env);
    // The two servers report in either order; the pairing code comes with the phone's lines.
    bool hookListening = false, phoneListening = false;
    std::optional<std::string> code;
    app.waitForLine([&](const std::string& line) {
        hookListening |= line == "hook server: Listening on 127.0.0.1:47821";
        phoneListening |= line == "phone: Listening on port " + std::to_string(phonePort);
        if (line.rfind("Pairing code: ", 0) == 0) code = line.substr(14);
        return hookListening && phoneListening && code;
    });
    ASSERT_TRUE(hookListening && phoneListening && code)
        << "is another Brimwick running on port 47821? " << ::testing::PrintToString(app.lines());

    // Paired with the printed code, typed with its space as a person would.
    const auto paired =
        phoneRequest(phonePort, "POST", "/pair", {},
                     nlohmann::json{{"code", *code}, {"device", "Test phone"}}.dump());
    ASSERT_EQ(paired.status, "200 OK");
    const std::string token = paired.body["token"];
    EXPECT_TRUE(app.waitForLine("paired: Test phone"));

    // SessionStart in a folder named "weather", its prompt, a tool: each state is awaited
    // before the next hook, as the printed list follows the latest one.
    const char* states[] = {"Saying hi", "Thinking", "Working"};
    for (std::size_t i = 0; i < 3; ++i) {
        const auto result = run(i);
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.output, "");
        EXPECT_TRUE(app.waitForLine(std::string("sessions: weather: ") + states[i]));
    }

    // The phone is watching (it just asked for the status), so the request waits for it.
    auto answer = status(token);
    auto permission = std::async(std::launch::async, [&] { return run(3); });
    EXPECT_TRUE(app.waitForLine("sessions: weather: Needs your approval"));
    nlohmann::json pending;
    for (int i = 0; i < 50 && pending.is_null(); ++i) {
        answer = status(token, answer.body["version"].get<long long>());
        for (const auto& session : answer.body["sessions"]) {
            if (!session["pending"].is_null()) pending = session["pending"];
        }
    }
    ASSERT_FALSE(pending.is_null()) << answer.body.dump();
    EXPECT_EQ(pending["tool"], "Bash");
    EXPECT_EQ(testing::phoneDecides(phonePort, token, pending["id"], "allow").status,
              "202 Accepted");
    const auto answered = permission.get();
    EXPECT_EQ(answered.status, 0);
    EXPECT_EQ(nlohmann::json::parse(answered.output), testing::allowedByPhoneOutput());

    EXPECT_EQ(run(4).status, 0);  // PostToolUse
    EXPECT_TRUE(app.waitForLine("sessions: weather: Thinking"));
    const auto stop = run(5);  // the server's answer, empty with nothing queued
    EXPECT_EQ(stop.status, 0);
    EXPECT_EQ(stop.output, "");
    EXPECT_TRUE(app.waitForLine("sessions: weather: Done"));
    EXPECT_EQ(run(6).status, 0);  // SessionEnd
    EXPECT_TRUE(app.waitForLine("sessions: none"));

    // The snapshot names the project folder the session used; it may trail the printed line.
    answer = status(token);
    for (int i = 0; i < 20 && !answer.body["sessions"].empty(); ++i) {
        answer = status(token, answer.body["version"].get<long long>());
    }
    EXPECT_EQ(answer.body["projects"],
              nlohmann::json::parse(R"([{"name":"weather","path":"/home/dana/src/weather"}])"));
    EXPECT_EQ(app.stop(SIGTERM), 0);
}

TEST_F(HeadlessTest, ATakenPortIsReportedTheRestRunsAndBadOptionsExplainThemselves) {
    auto first = start({"--headless"});
    ASSERT_TRUE(first.waitForLine("hook server: Listening on 127.0.0.1:47821"));
    auto second = start({"--headless", "--demo", "1"});
    EXPECT_TRUE(
        second.waitForLine("hook server: Couldn't open port 47821: Address already in use"));
    EXPECT_TRUE(second.waitForLine("sessions: demo-1: Saying hi"));
    EXPECT_EQ(second.stop(SIGTERM), 0);
    EXPECT_EQ(first.stop(SIGTERM), 0);

    auto bad = start({"--demo", "many"});
    EXPECT_TRUE(bad.waitForLine("brimwick: --demo needs a number of sessions from 0 to 100"));
    EXPECT_EQ(bad.stop(0), 2);
    auto help = start({"--help"});
    EXPECT_TRUE(help.waitForLine(
        [](const std::string& line) { return line.rfind("Usage: brimwick", 0) == 0; }));
    EXPECT_EQ(help.stop(0), 0);
}

}  // namespace brimwick
