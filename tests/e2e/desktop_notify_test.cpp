// Approving from a desktop notification, as a user at the computer would: the desktop app on a
// private X server and session bus with dunst as the notification server, the recorded session
// replayed through the installed hook commands, and Allow chosen from the notification's menu.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <future>
#include <nlohmann/json.hpp>

#include "app/desktop_module.h"
#include "approvals/approval_gate.h"
#include "hooks/hook_commands.h"
#include "support/child_process.h"
#include "support/eventually.h"
#include "support/recorded_session.h"
#include "support/scratch_folder.h"
#include "support/xvfb_display.h"

namespace brimwick {
namespace {

namespace fs = std::filesystem;
using testing::ChildProcess;
using testing::runShell;

TEST(DesktopNotify, AllowOnTheNotificationAnswersTheRecordedRequest) {
    for (const char* tool :
         {"/usr/bin/dunst", "/usr/bin/dunstctl", "/usr/bin/dbus-daemon", "/usr/bin/curl"}) {
        if (!fs::exists(tool)) GTEST_SKIP() << tool << " is not installed";
    }
    if (!fs::exists(fs::path(BRIMWICK_BINARY).parent_path() / kDesktopModuleName)) {
        GTEST_SKIP() << "this build has no desktop face";
    }
    testing::XvfbDisplay display;
    if (!display.available()) GTEST_SKIP() << "no X server for the test: " << display.problem();
    testing::ScratchFolder scratch("brimwick-notify-e2e");
    const fs::path home = scratch.path() / "home", runtime = scratch.path() / "runtime";
    fs::create_directories(home);
    fs::create_directories(runtime);
    fs::permissions(runtime, fs::perms::owner_all);

    // dunst's context menu hands its entries to a dmenu-like command, which picks Allow here
    // (and keeps what it was offered).
    const fs::path offered = scratch.path() / "offered", chooser = scratch.path() / "choose";
    std::ofstream(chooser) << "#!/bin/sh\ntee '" << offered.string()
                           << "' | grep -v Always | grep -m1 Allow\n";
    fs::permissions(chooser, fs::perms::owner_all);
    const fs::path dunstrc = scratch.path() / "dunstrc";
    std::ofstream(dunstrc) << "[global]\n    dmenu = \"" << chooser.string() << "\"\n";

    ChildProcess bus({"/usr/bin/dbus-daemon", "--session", "--nofork", "--print-address=1"});
    const auto address = bus.readLine();
    ASSERT_TRUE(address);
    const std::map<std::string, std::string> env = {
        {"DISPLAY", display.name()},
        {"DBUS_SESSION_BUS_ADDRESS", *address},
        {"HOME", home.string()},
        {"XDG_CONFIG_HOME", (scratch.path() / "config").string()},
        {"XDG_RUNTIME_DIR", runtime.string()}};
    ChildProcess dunst({"/usr/bin/dunst", "-config", dunstrc.string()}, env);
    ASSERT_TRUE(testing::eventually([&] {
        return runShell("dunstctl is-paused", "", env).output == "false\n";
    })) << "dunst did not come up";

    ASSERT_EQ(runShell("'" + std::string(BRIMWICK_BINARY) + "' hooks install", "", env).status, 0);
    auto appEnv = env;
    appEnv["BRIMWICK_USAGE_URL"] = "http://127.0.0.1:9/api/oauth/usage";
    appEnv["QT_QPA_PLATFORM"] = "xcb";
    ChildProcess app({BRIMWICK_BINARY, "--desktop", "--approve-desktop", "on"}, appEnv);
    ASSERT_TRUE(testing::eventually([&] {
        return runShell("curl -s -o /dev/null 127.0.0.1:47821/hook", "").status == 0;
    })) << "the hook server did not start";

    const auto settings = nlohmann::json::parse(std::ifstream(home / ".claude/settings.json"));
    const auto payloads = testing::recordedPayloads();
    ASSERT_GE(payloads.size(), 4u);
    const auto command = [&](std::size_t index) {
        const auto event = testing::eventNameOf(payloads[index]);
        return settings["hooks"][event].back()["hooks"][0]["command"].get<std::string>();
    };
    for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(runShell(command(i), payloads[i]).status, 0);
    auto asked = std::async(std::launch::async, [&] { return runShell(command(3), payloads[3]); });
    ASSERT_TRUE(testing::eventually([&] {
        return runShell("dunstctl count displayed", "", env).output != "0\n";
    })) << "no notification appeared";
    EXPECT_EQ(runShell("dunstctl context", "", env).status, 0);
    ASSERT_EQ(asked.wait_for(std::chrono::seconds(20)), std::future_status::ready)
        << "the request still waits; dunst offered: "
        << std::string(std::istreambuf_iterator<char>(std::ifstream(offered).rdbuf()), {});
    const auto answer = asked.get();
    EXPECT_EQ(answer.status, 0);
    EXPECT_EQ(answer.output, ApprovalGate::answer("allow", std::nullopt));
    // And the notification goes with the answer.
    EXPECT_TRUE(testing::eventually(
        [&] { return runShell("dunstctl count displayed", "", env).output == "0\n"; }));
}

}  // namespace
}  // namespace brimwick
