// The whole process as a user runs it: hooks installed with the command line, a recorded Claude
// Code session replayed through the installed commands, a phone stand-in on loopback pairing,
// watching and approving a permission request.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <future>
#include <nlohmann/json.hpp>
#include <optional>

#include "support/child_process.h"
#include "support/phone_client.h"
#include "support/raw_client.h"
#include "support/recorded_session.h"
#include "support/scratch_folder.h"

namespace brimwick {
namespace {

namespace fs = std::filesystem;
using testing::ChildProcess;
using testing::phoneRequest;
using testing::RawClient;
using testing::runShell;

TEST(WholeApp, RecordedSessionWithAPhoneApprovingItsPermissionRequest) {
    const testing::ScratchFolder scratch("brimwick-whole");
    const fs::path& home = scratch.path();
    const std::uint16_t phonePort = testing::freeLoopbackPort();
    const std::map<std::string, std::string> env = {
        {"HOME", home.string()},
        {"XDG_CONFIG_HOME", (home / "config").string()},
        {"BRIMWICK_PHONE_PORT", std::to_string(phonePort)},
        {"BRIMWICK_USAGE_URL", "http://127.0.0.1:9/api/oauth/usage"},
        {"DISPLAY", ""}};

    // Install the hooks with the command line.
    {
        ChildProcess install({BRIMWICK_BINARY, "hooks", "install"}, env);
        EXPECT_TRUE(install.waitForLine("Connected to Claude Code"));
        EXPECT_EQ(install.stop(0), 0);
    }
    const auto settings = nlohmann::json::parse(std::ifstream(home / ".claude/settings.json"));
    const auto command = [&](const std::string& event) {
        return settings["hooks"][event].back()["hooks"][0]["command"].get<std::string>();
    };

    ChildProcess app({BRIMWICK_BINARY, "--headless", "--phone"}, env);
    // The two servers report in either order; the pairing code comes with the phone's lines.
    bool hookListening = false, phoneListening = false;
    std::optional<std::string> codeLine;
    app.waitForLine([&](const std::string& line) {
        hookListening |= line == "hook server: Listening on 127.0.0.1:47821";
        phoneListening |= line == "phone: Listening on port " + std::to_string(phonePort);
        if (line.rfind("Pairing code: ", 0) == 0) codeLine = line;
        return hookListening && phoneListening && codeLine;
    });
    ASSERT_TRUE(hookListening) << "is another Brimwick running on port 47821? "
                               << ::testing::PrintToString(app.lines());
    ASSERT_TRUE(phoneListening) << ::testing::PrintToString(app.lines());
    ASSERT_TRUE(codeLine);

    // Pair with the printed code (written with its space, as a person would type it).
    const auto paired = phoneRequest(
        phonePort, "POST", "/pair", {},
        nlohmann::json{{"code", codeLine->substr(14)}, {"device", "Test phone"}}.dump());
    ASSERT_EQ(paired.status, "200 OK");
    const std::string token = paired.body["token"];
    EXPECT_TRUE(app.waitForLine("paired: Test phone"));

    const auto payloads = testing::recordedPayloads();
    ASSERT_GE(payloads.size(), 7u);
    const auto run = [&](std::size_t index) {
        return runShell(command(testing::eventNameOf(payloads[index])), payloads[index]);
    };

    for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(run(i).status, 0);
    EXPECT_TRUE(app.waitForLine("sessions: weather: Working"));

    // The phone is watching (it just asked for the status), so the request waits for it.
    auto status = phoneRequest(phonePort, "GET", "/status", token);
    ASSERT_EQ(status.status, "200 OK");
    auto permission = std::async(std::launch::async, [&] { return run(3); });
    EXPECT_TRUE(app.waitForLine("sessions: weather: Needs your approval"));
    nlohmann::json pending;
    for (int i = 0; i < 50 && pending.is_null(); ++i) {
        status = phoneRequest(
            phonePort, "GET",
            "/status?v=" + std::to_string(status.body["version"].get<long long>()), token);
        for (const auto& session : status.body["sessions"]) {
            if (!session["pending"].is_null()) pending = session["pending"];
        }
    }
    ASSERT_FALSE(pending.is_null()) << status.body.dump();
    EXPECT_EQ(pending["tool"], "Bash");
    EXPECT_EQ(testing::phoneDecides(phonePort, token, pending["id"], "allow").status,
              "202 Accepted");
    const auto answered = permission.get();
    EXPECT_EQ(answered.status, 0);
    EXPECT_EQ(nlohmann::json::parse(answered.output), testing::allowedByPhoneOutput());

    EXPECT_EQ(run(4).status, 0);  // PostToolUse
    EXPECT_TRUE(app.waitForLine("sessions: weather: Thinking"));
    const auto stop = run(5);
    EXPECT_EQ(stop.output, "");
    EXPECT_TRUE(app.waitForLine("sessions: weather: Done"));
    EXPECT_EQ(run(6).status, 0);  // SessionEnd
    EXPECT_TRUE(app.waitForLine("sessions: none"));

    // The snapshot names the project folder the session used. It may trail the printed line by
    // a moment, so wait for the version that has the session gone.
    status = phoneRequest(phonePort, "GET", "/status", token);
    for (int i = 0; i < 20 && !status.body["sessions"].empty(); ++i) {
        status = phoneRequest(
            phonePort, "GET",
            "/status?v=" + std::to_string(status.body["version"].get<long long>()), token);
    }
    EXPECT_EQ(status.body["projects"],
              nlohmann::json::parse(R"([{"name":"weather","path":"/home/dana/src/weather"}])"));
    EXPECT_TRUE(status.body["sessions"].empty());

    EXPECT_EQ(app.stop(SIGTERM), 0);
}

}  // namespace
}  // namespace brimwick
