// The status document phones read, built from real stores.
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

class PhoneSnapshotTest : public ::testing::Test {
  protected:
    // A usage store whose one fetch the test answers through `answer`.
    void makeUsage(bool shown) {
        preferences.setValue("showUsage", shown);
        usage = UsageStore::create(queue, queue, preferences, [this](BackgroundTask&, auto done) {
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
    void pend(std::string id, std::string session, std::optional<std::vector<json>> suggestions,
              std::optional<std::string> detail = "rm -rf build") {
        approvals[id] = PendingApproval{.id = id,
                                        .sessionId = session,
                                        .tool = "Bash",
                                        .detail = detail,
                                        .suggestions = suggestions,
                                        .expiresAt = 1'800'000'110.25};
    }

    testing::ManualMainQueue queue{1'800'000'000.9999};
    std::shared_ptr<SessionStore> store =
        SessionStore::create(queue, queue, std::make_shared<testing::FakeProcessProbe>(),
                             std::make_shared<testing::FakeRandom>());
    testing::MemoryPreferences preferences;
    std::shared_ptr<UsageStore> usage;
    std::function<void(UsageOutcome)> answer;
    PendingApprovals approvals;
    QueuedPrompts queued;
    std::vector<std::string> projects;
};

TEST_F(PhoneSnapshotTest, AnEmptyMachineWithUsageOff) {
    makeUsage(false);
    EXPECT_EQ(build(), json({{"host", "Ada's Laptop"},
                             {"serverTime", 1'800'000'000'999},
                             {"sessions", json::array()},
                             {"usage", nullptr},
                             {"projects", json::array()}}));
}

TEST_F(PhoneSnapshotTest, SessionsInRankedOrderWithEveryKeyTheirRequestAndTheirQueue) {
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
            {"tool_name", "Bash"}},
           7);
    queued = {{"busy", {"one", "two"}}, {"gone", {"orphan"}}};
    pend("1a2b3c4d", "asking", std::nullopt);
    pend("deadbeef", "calm", std::vector<json>{{{"type", "addRules"}}});
    pend("00000000", "busy", std::vector<json>{}, std::nullopt);  // empty: no "always allow"
    pend("11111111", "gone", std::nullopt);

    // Only a process with a named application has an app.
    const auto sessions = build([](std::optional<std::int32_t> pid) {
        return pid == 4242 ? std::optional<std::string>("xterm") : std::nullopt;
    })["sessions"];
    ASSERT_EQ(sessions.size(), 3u);
    EXPECT_EQ(sessions[0]["id"], "asking");  // waits for approval, so first
    EXPECT_EQ(sessions[1]["id"], "calm");
    EXPECT_EQ(sessions[2]["id"], "busy");
    EXPECT_EQ(sessions[0]["needsYou"], true);
    EXPECT_EQ(sessions[0]["state"], "approval");
    EXPECT_EQ(sessions[0]["app"], nullptr);
    EXPECT_EQ(sessions[0]["pending"], json({{"id", "1a2b3c4d"},
                                            {"tool", "Bash"},
                                            {"detail", "rm -rf build"},
                                            {"canAlwaysAllow", false},
                                            {"expiresAt", 1'800'000'110'250}}));
    EXPECT_EQ(sessions[1]["pending"]["canAlwaysAllow"], true);
    // No host process, no texts: every key is still there, as null.
    for (const char* key : {"app", "task", "activity"}) EXPECT_EQ(sessions[1].at(key), nullptr);
    EXPECT_EQ(sessions[1]["queued"], 0);

    const auto busy = *store->session("busy");
    EXPECT_EQ(sessions[2], json({{"id", "busy"},
                                 {"project", "weather"},
                                 {"state", "working"},
                                 {"label", std::string(label(BotState::working))},
                                 {"needsYou", false},
                                 {"stateChangedAt", 1'800'000'000'999},
                                 {"app", "xterm"},
                                 {"task", *busy.task},
                                 {"activity", *busy.activity},
                                 {"queued", 2},
                                 {"pending",
                                  {{"id", "00000000"},
                                   {"tool", "Bash"},
                                   {"detail", nullptr},
                                   {"canAlwaysAllow", false},
                                   {"expiresAt", 1'800'000'110'250}}}}));
    EXPECT_EQ(build()["sessions"][2]["app"], nullptr);  // no lookup at all
}

TEST_F(PhoneSnapshotTest, UsageLimitsAndProjects) {
    makeUsage(true);
    EXPECT_EQ(build()["usage"], json({{"session", nullptr}, {"week", nullptr}, {"problem", ""}}));
    answer(PlanUsage{UsageLimit{0.125, 1'800'003'600.0005}, UsageLimit{1.0, std::nullopt}, 1});
    queue.runPending();
    EXPECT_EQ(build()["usage"],
              json({{"session", {{"percentLeft", 88}, {"resetsAt", 1'800'003'600'000}}},
                    {"week", {{"percentLeft", 0}, {"resetsAt", nullptr}}},
                    {"problem", ""}}));
    usage->refresh(true);
    answer(UsageError::of(UsageError::Kind::network));
    queue.runPending();
    EXPECT_EQ(build()["usage"]["problem"], "Usage unavailable (offline?)");

    projects = {"/home/ada/src/weather", "/home/ada/src/My App/", "/"};
    EXPECT_EQ(build()["projects"],
              json::array({{{"name", "weather"}, {"path", "/home/ada/src/weather"}},
                           {{"name", "My App"}, {"path", "/home/ada/src/My App/"}},
                           {{"name", "/"}, {"path", "/"}}}));
}

TEST(PhoneSnapshotMilliseconds, TruncatesTowardZeroAndNullsWhatCannotBeSent) {
    const std::pair<double, std::int64_t> whole[] = {{0.0, 0},
                                                     {1.9999, 1999},
                                                     {1'700'000'000.123456, 1'700'000'000'123},
                                                     {-1.5, -1500},
                                                     {-0.0019, -1}};
    for (const auto& [seconds, ms] : whole) EXPECT_EQ(phone_snapshot::milliseconds(seconds), ms);
    EXPECT_TRUE(phone_snapshot::milliseconds(std::nullopt).is_null());
    for (double bad : {std::nan(""), 1e300, -1e300, 9'223'372'036'854'775.808,
                       std::numeric_limits<double>::infinity()}) {
        EXPECT_TRUE(phone_snapshot::milliseconds(bad).is_null()) << bad;
    }
}

}  // namespace
}  // namespace brimwick
