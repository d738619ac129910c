// The headless face as a user runs it: the real executable, the real hook command text run by
// sh with curl, the fixed hook port.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "hooks/hook_commands.h"
#include "support/child_process.h"
#include "support/raw_client.h"
#include "support/recorded_session.h"
#include "support/scratch_folder.h"

namespace brimwick {
namespace {

using testing::ChildProcess;
using testing::runShell;

class HeadlessTest : public ::testing::Test {
  protected:
    std::unique_ptr<ChildProcess> start(std::vector<std::string> args) {
        args.insert(args.begin(), BRIMWICK_BINARY);
        return std::make_unique<ChildProcess>(
            args, std::map<std::string, std::string>{
                      {"HOME", home.string()}, {"XDG_CONFIG_HOME", (home / "config").string()}});
    }

    testing::ScratchFolder scratch{"brimwick-e2e"};
    const std::filesystem::path& home = scratch.path();
};

TEST_F(HeadlessTest, HookPostedWithTheInstalledCommandChangesTheSessionLine) {
    auto app = start({"--headless"});
    ASSERT_TRUE(app->waitForLine("hook server: Listening on 127.0.0.1:47821"))
        << "is another Brimwick running on port 47821?";

    const auto payloads = testing::recordedPayloads();
    ASSERT_GE(payloads.size(), 7u);
    // Line 1 is SessionStart (startup) in a folder named "weather", line 2 its first prompt. The
    // printed list follows the latest state, so each hook's state is awaited before the next.
    const char* expected[] = {"sessions: weather: Saying hi", "sessions: weather: Thinking"};
    for (int i = 0; i < 2; ++i) {
        const auto event = testing::eventNameOf(payloads[i]);
        const auto result = runShell(hook_commands::commandFor(event), payloads[i]);
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.output, "");
        EXPECT_TRUE(app->waitForLine(expected[i]));
    }

    // The stop command prints the server's answer, which is empty with nothing queued.
    const auto stop = runShell(hook_commands::commandFor("Stop"), payloads[5]);
    EXPECT_EQ(stop.status, 0);
    EXPECT_EQ(stop.output, "");
    EXPECT_TRUE(app->waitForLine("sessions: weather: Done"));
    EXPECT_TRUE(app->waitForLine("sessions: none"));  // removed 2.4 s after finishing

    EXPECT_EQ(app->stop(SIGTERM), 0);
}

TEST_F(HeadlessTest, DemoSessionsAppearAndWalkTheirScript) {
    auto app = start({"--headless", "--demo", "2"});
    EXPECT_TRUE(app->waitForLine([](const std::string& line) {
        return line == "sessions: demo-1: Saying hi, demo-2: Saying hi";
    }));
    EXPECT_TRUE(app->waitForLine([](const std::string& line) {
        return line.find("demo-1: Thinking") != std::string::npos;
    }));
    EXPECT_EQ(app->stop(SIGINT), 0);
}

TEST_F(HeadlessTest, TakenPortIsReportedAndTheProcessKeepsRunning) {
    auto first = start({"--headless"});
    ASSERT_TRUE(first->waitForLine("hook server: Listening on 127.0.0.1:47821"));
    auto second = start({"--headless", "--demo", "1"});
    EXPECT_TRUE(
        second->waitForLine("hook server: Couldn't open port 47821: Address already in use"));
    // Everything else still runs.
    EXPECT_TRUE(second->waitForLine("sessions: demo-1: Saying hi"));
    EXPECT_EQ(second->stop(SIGTERM), 0);
    EXPECT_EQ(first->stop(SIGTERM), 0);
}

TEST_F(HeadlessTest, BadOptionsExplainThemselves) {
    auto app = start({"--demo", "many"});
    EXPECT_TRUE(app->waitForLine("brimwick: --demo needs a number of sessions from 0 to 100"));
    EXPECT_EQ(app->stop(0), 2);

    auto help = start({"--help"});
    EXPECT_TRUE(help->waitForLine(
        [](const std::string& line) { return line.rfind("Usage: brimwick", 0) == 0; }));
    EXPECT_EQ(help->stop(0), 0);
}

}  // namespace
}  // namespace brimwick
