#include "phone/phone_snapshot.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "sessions/session_store.h"
#include "support/fake_process_probe.h"
#include "support/fake_random.h"
#include "support/manual_main_queue.h"
#include "support/memory_preferences.h"
#include "usage/usage_store.h"

namespace brimwick {
namespace {

using nlohmann::json;
using testing::FakeProcessProbe;
using testing::FakeRandom;
using testing::ManualMainQueue;
using testing::MemoryPreferences;

class PhoneSnapshotTest : public ::testing::Test {
  protected:
    // A usage store whose one fetch is answered by the test through `answer`.
    void makeUsage(bool shown) {
        preferences =
            std::make_unique<MemoryPreferences>(std::map<std::string, json>{{"showUsage", shown}});
        usage = UsageStore::create(queue, queue, *preferences,
                                   [this](BackgroundTask&, std::function<void(UsageOutcome)> done) {
                                       answer = std::move(done);
                                   });
        queue.runPending();
    }

    void handle(json payload, std::optional<std::int32_t> pid = std::nullopt) {
        auto event = HookEvent::fromJson(payload);
        ASSERT_TRUE(event) << payload.dump();
        event->hostPID = pid;
        store->handle(*event);
    }

    json build(const phone_snapshot::HostAppName& appName = {}) {
        return phone_snapshot::snapshot(*store, *usage, "Ada's Laptop", approvals, queued, projects,
                                        queue, appName);
    }

    static PendingApproval approval(std::string id, std::string session,
                                    std::optional<std::vector<json>> suggestions) {
        PendingApproval a;
        a.id = std::move(id);
        a.sessionId = std::move(session);
        a.tool = "Bash";
        a.detail = "rm -rf build";
        a.suggestions = std::move(suggestions);
        a.expiresAt = 1'800'000'110.25;
        return a;
    }

    ManualMainQueue queue{1'800'000'000.9999};
    std::shared_ptr<SessionStore> store = SessionStore::create(
        queue, queue, std::make_shared<FakeProcessProbe>(), std::make_shared<FakeRandom>());
    std::unique_ptr<MemoryPreferences> preferences;
    std::shared_ptr<UsageStore> usage;
    std::function<void(UsageOutcome)> answer;
    PendingApprovals approvals;
    QueuedPrompts queued;
    std::vector<std::string> projects;
};

TEST_F(PhoneSnapshotTest, EmptyMachineWithUsageOff) {
    makeUsage(false);
    EXPECT_EQ(build(), json({{"host", "Ada's Laptop"},
                             {"serverTime", 1'800'000'000'999},
                             {"sessions", json::array()},
                             {"usage", nullptr},
                             {"projects", json::array()}}));
}

TEST_F(PhoneSnapshotTest, SessionsComeInRankedOrderWithEveryKeyPresent) {
    makeUsage(false);
    handle({{"hook_event_name", "SessionStart"}, {"session_id", "calm"}, {"cwd", "/src/notes"}});
    handle({{"hook_event_name", "UserPromptSubmit"},
            {"session_id", "busy"},
            {"cwd", "/src/weather"},
            {"prompt", "Fix the flaky test"}},
           4242);
    handle({{"hook_event_name", "PreToolUse"},
            {"session_id", "busy"},
            {"tool_name", "Bash"},
            {"tool_input", {{"command", "make test"}}}},
           4242);
    handle({{"hook_event_name", "PermissionRequest"},
            {"session_id", "asking"},
            {"cwd", "/src/api"},
            {"tool_name", "Bash"}});
    queued["busy"] = {"one", "two"};
    queued["gone"] = {"orphan"};

    const json snapshot = build([](std::optional<std::int32_t> pid) -> std::optional<std::string> {
        if (pid == 4242) return "xterm";
        return std::nullopt;
    });
    const auto& sessions = snapshot["sessions"];
    ASSERT_EQ(sessions.size(), 3u);
    EXPECT_EQ(sessions[0]["id"], "asking");  // waits for approval, so first
    EXPECT_EQ(sessions[1]["id"], "calm");
    EXPECT_EQ(sessions[2]["id"], "busy");

    const auto busy = *store->session("busy");
    const json& b = sessions[2];
    EXPECT_EQ(b["project"], "weather");
    EXPECT_EQ(b["state"], "working");
    EXPECT_EQ(b["label"], std::string(label(BotState::working)));
    EXPECT_EQ(b["needsYou"], false);
    EXPECT_EQ(b["stateChangedAt"], 1'800'000'000'999);
    EXPECT_EQ(b["app"], "xterm");
    EXPECT_EQ(b["task"], *busy.task);
    EXPECT_EQ(b["activity"], *busy.activity);
    EXPECT_EQ(b["queued"], 2);
    EXPECT_EQ(b["pending"], nullptr);

    // No host process, no texts: every key is still there, as null.
    const json& c = sessions[1];
    for (const char* key : {"app", "task", "activity", "pending"}) {
        ASSERT_TRUE(c.contains(key)) << key;
        EXPECT_EQ(c[key], nullptr) << key;
    }
    EXPECT_EQ(c["queued"], 0);
    EXPECT_EQ(sessions[0]["needsYou"], true);
    EXPECT_EQ(sessions[0]["state"], "approval");
}

TEST_F(PhoneSnapshotTest, AProcessWithoutANamedApplicationHasNoApp) {
    makeUsage(false);
    handle({{"hook_event_name", "SessionStart"}, {"session_id", "a"}}, 4242);
    EXPECT_EQ(build()["sessions"][0]["app"], nullptr);  // no lookup at all
    EXPECT_EQ(build([](auto) { return std::nullopt; })["sessions"][0]["app"], nullptr);
}

TEST_F(PhoneSnapshotTest, APendingRequestShowsUnderItsOwnSessionOnly) {
    makeUsage(false);
    handle({{"hook_event_name", "PermissionRequest"}, {"session_id", "a"}, {"tool_name", "Bash"}});
    handle({{"hook_event_name", "PermissionRequest"}, {"session_id", "b"}, {"tool_name", "Edit"}});
    approvals["1a2b3c4d"] = approval("1a2b3c4d", "a", std::nullopt);
    approvals["deadbeef"] = approval("deadbeef", "b", std::vector<json>{{{"type", "addRules"}}});
    auto empty = approval("00000000", "c", std::vector<json>{});
    approvals["00000000"] = empty;

    const json sessions = build()["sessions"];
    ASSERT_EQ(sessions.size(), 2u);
    EXPECT_EQ(sessions[0]["pending"], json({{"id", "1a2b3c4d"},
                                            {"tool", "Bash"},
                                            {"detail", "rm -rf build"},
                                            {"canAlwaysAllow", false},
                                            {"expiresAt", 1'800'000'110'250}}));
    EXPECT_EQ(sessions[1]["pending"]["canAlwaysAllow"], true);
    EXPECT_EQ(sessions[1]["pending"]["id"], "deadbeef");

    // Empty suggestions can't be "always allowed" either; a missing detail is null.
    approvals.clear();
    empty.sessionId = "a";
    empty.detail.reset();
    approvals["00000000"] = empty;
    const json pending = build()["sessions"][0]["pending"];
    EXPECT_EQ(pending["canAlwaysAllow"], false);
    EXPECT_EQ(pending["detail"], nullptr);
}

TEST_F(PhoneSnapshotTest, UsageShownButNotFetchedYetHasNullLimits) {
    makeUsage(true);
    EXPECT_EQ(build()["usage"], json({{"session", nullptr}, {"week", nullptr}, {"problem", ""}}));

    answer(UsageError::of(UsageError::Kind::network));
    queue.runPending();
    const json after = build()["usage"];
    EXPECT_EQ(after["session"], nullptr);
    EXPECT_EQ(after["problem"], usage->problem());
    EXPECT_FALSE(after["problem"].get<std::string>().empty());
}

TEST_F(PhoneSnapshotTest, LimitsGiveWholePercentLeftAndResetTimesInMilliseconds) {
    makeUsage(true);
    PlanUsage figures;
    figures.session = UsageLimit{0.125, 1'800'003'600.0005};
    figures.week = UsageLimit{1.0, std::nullopt};
    figures.fetchedAt = queue.now();
    answer(figures);
    queue.runPending();
    ASSERT_TRUE(usage->usage());

    EXPECT_EQ(build()["usage"],
              json({{"session", {{"percentLeft", 88}, {"resetsAt", 1'800'003'600'000}}},
                    {"week", {{"percentLeft", 0}, {"resetsAt", nullptr}}},
                    {"problem", ""}}));
}

TEST_F(PhoneSnapshotTest, ProjectsKeepTheirOrderAndAreNamedByTheirLastComponent) {
    makeUsage(false);
    projects = {"/home/ada/src/weather", "/home/ada/src/My App/", "/"};
    EXPECT_EQ(build()["projects"],
              json::array({{{"name", "weather"}, {"path", "/home/ada/src/weather"}},
                           {{"name", "My App"}, {"path", "/home/ada/src/My App/"}},
                           {{"name", "/"}, {"path", "/"}}}));
}

TEST(PhoneSnapshotMillisecondsTest, TruncatesTowardZero) {
    EXPECT_EQ(phone_snapshot::milliseconds(0.0), 0);
    EXPECT_EQ(phone_snapshot::milliseconds(1.9999), 1999);
    EXPECT_EQ(phone_snapshot::milliseconds(1'700'000'000.123456), 1'700'000'000'123);
    EXPECT_EQ(phone_snapshot::milliseconds(-1.5), -1500);
    EXPECT_EQ(phone_snapshot::milliseconds(-0.0019), -1);
    EXPECT_TRUE(phone_snapshot::milliseconds(std::nullopt).is_null());
    EXPECT_TRUE(phone_snapshot::milliseconds(std::nan("")).is_null());
    EXPECT_TRUE(phone_snapshot::milliseconds(1e300).is_null());
    EXPECT_TRUE(phone_snapshot::milliseconds(-1e300).is_null());
    EXPECT_TRUE(phone_snapshot::milliseconds(9'223'372'036'854'775.808).is_null());
    EXPECT_TRUE(phone_snapshot::milliseconds(std::numeric_limits<double>::infinity()).is_null());
}

}  // namespace
}  // namespace brimwick
