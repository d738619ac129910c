#include "sessions/session_store.h"

#include <gtest/gtest.h>

#include "support/fake_process_probe.h"
#include "support/fake_random.h"
#include "support/manual_main_queue.h"

namespace brimwick {
namespace {

using nlohmann::json;
using Kind = SessionChange::Kind;
using Ids = std::vector<std::string>;

class SessionStoreTest : public ::testing::Test {
  protected:
    SessionStoreTest() { restart(); }

    void restart() {
        store = SessionStore::create(queue, queue, probe, random);
        changes.clear();
        sub_ = store->changed.connect([this](const SessionChange& c) { changes.push_back(c); });
    }

    // "Name:tool@id {fields}": an event for session `id` (default s1) in /home/dana/src/weather;
    // every part is optional.
    void handle(const std::string& step, std::optional<std::int32_t> pid = std::nullopt) {
        const auto brace = std::min(step.find('{'), step.size());
        std::string name = step.substr(0, step.find_first_of(" {"));
        json payload = {{"session_id", "s1"}, {"cwd", "/home/dana/src/weather"}};
        if (const auto at = name.find('@'); at != std::string::npos) {
            payload["session_id"] = name.substr(at + 1);
            name.erase(at);
        }
        if (const auto colon = name.find(':'); colon != std::string::npos) {
            payload["tool_name"] = name.substr(colon + 1);
            name.erase(colon);
        }
        if (!name.empty()) payload["hook_event_name"] = name;
        if (brace < step.size()) payload.update(json::parse(step.substr(brace)));
        auto event = HookEvent::fromJson(payload);
        ASSERT_TRUE(event) << step;
        if (pid) event->hostPID = pid;
        store->handle(*event);
    }

    // A script: "+s" moves virtual time on; "=state<previous@id" checks a session ("=gone" when
    // there is none; previous and id optional); "#n" checks that n changes were published since
    // the last check ("#" alone forgets them); anything else is an event for handle().
    void play(const std::vector<std::string>& steps) {
        for (const auto& step : steps) {
            SCOPED_TRACE(step);
            if (step[0] == '+') {
                queue.advance(std::stod(step.substr(1)));
            } else if (step[0] == '#') {
                if (step.size() > 1) {
                    EXPECT_EQ(changes.size(), std::stoul(step.substr(1)));
                }
                changes.clear();
            } else if (step[0] == '=') {
                const auto at = std::min(step.find('@'), step.size());
                const auto from = std::min(step.find('<'), at);
                const auto s = store->session(at < step.size() ? step.substr(at + 1) : "s1");
                EXPECT_EQ(s ? rawValue(s->state) : "gone", step.substr(1, from - 1));
                if (s && from < at) {
                    EXPECT_EQ(rawValue(s->previousState), step.substr(from + 1, at - from - 1));
                }
            } else {
                handle(step);
            }
        }
    }

    Ids ids(const std::vector<AgentSession>& sessions) const {
        Ids out;
        for (const auto& s : sessions) out.push_back(s.id);
        return out;
    }

    testing::ManualMainQueue queue;
    const Instant start = queue.now();
    std::shared_ptr<testing::FakeProcessProbe> probe =
        std::make_shared<testing::FakeProcessProbe>();
    std::shared_ptr<testing::FakeRandom> random = std::make_shared<testing::FakeRandom>();
    std::shared_ptr<SessionStore> store;
    std::vector<SessionChange> changes;
    Subscription sub_;
};

TEST_F(SessionStoreTest, Rules) {
    const std::string startup = R"(SessionStart {"source":"startup"})";
    const std::pair<const char*, std::vector<std::string>> rows[] = {
        // clang-format off
        {"a fresh start greets for 2 s", {startup, "+1.999", "=greeting", "+0.002",
        "=idle<greeting"}},
        {"only startup greets a running session",
         {"UserPromptSubmit", R"(SessionStart {"source":"resume"})", "SessionStart",
          R"(SessionStart {"source":"compact"})", "+5", "=thinking", startup, "=greeting",
          "+2.001", "=idle"}},
        {"events move a session",
         {"UserPromptSubmit", "PreToolUse:Edit", "=working<thinking", "PostToolUse", "=thinking",
          "PreCompact", "=working", "PostToolBatch", "=thinking",
          R"(Notification {"notification_type":"idle_prompt"})", "=question",
          R"(Notification {"notification_type":"auth_success"})", "=question",
          R"(Notification {"message":"Claude needs your permission to use Bash"})", "=approval",
          "#", "SessionEnd", "=gone", "#1", "+10", "#0"}},
        {"an explicit state wins over the name",
         {R"(UserPromptSubmit {"state":"finished"})", "+2.399", "=finished", "+0.002", "=gone"}},
        {"an explicit greeting never settles", {R"({"state":"GREETING"})", "+60", "=greeting"}},
        {"a change cancels the pending settle",
         {startup, "+1", "UserPromptSubmit", "+10", "=thinking", "PostToolUseFailure", "=error",
          "+0.5", "PreToolUse:Bash", "+10", "=working"}},
        {"leaving and coming back restarts the settle",
         {"UserPromptSubmit", "PostToolUseFailure", "+0.5", "PostToolUse", "PostToolUseFailure",
          "+1.2", "=error", "+0.5", "=thinking"}},
        {"repeating a state keeps the settle",
         {startup, "+1", R"({"state":"greeting"})", "+1.001", "=idle", "PostToolUseFailure", "+1",
          "PostToolUseFailure", "+0.601", "=thinking"}},
        {"finished leaves after 2.4 s, a repeat does not postpone it",
         {"UserPromptSubmit", "Stop", "=finished", "+1", "Stop", "+1.399", "=finished", "#3",
         "+0.002", "=gone", "#1"}},
        {"a prompt after a stop keeps the session", {"UserPromptSubmit", "Stop", "+2.3",
        "UserPromptSubmit", "+60", "=thinking"}},
        {"changes within one clock tick still cancel",
         {"UserPromptSubmit", "Stop", "UserPromptSubmit", "+10", "=thinking", "Stop", "SessionEnd",
          "UserPromptSubmit", "+10", "=thinking"}},
        {"a stop failure leaves after 4 s unless a prompt comes",
         {R"(StopFailure {"error":"rate_limit"})", "=error", "+3.999", "=error", "+0.002", "=gone",
          "StopFailure", "+1", "UserPromptSubmit", "+10", "=thinking"}},
        {"quiet sessions sleep after more than 600 s, waiting ones never",
         {"+19", "UserPromptSubmit@early", "PermissionRequest@waiting",
          R"(Notification@asking {"notification_type":"permission_prompt"})",
          R"(Notification@asking {"notification_type":"idle_prompt"})", "+1",
          "UserPromptSubmit@late",
          "+580", "=thinking@early", "+20", "=sleeping<thinking@early", "=thinking@late",
          "=approval@waiting", "=question@asking", "+20", "=sleeping@late", "#", "+360", "#0",
          "PostToolUse@early", "=thinking<sleeping@early"}},
        {"every session is forgotten after more than 1800 s",
         {"+19", "PermissionRequest@early", "+1", "PermissionRequest@late", "+1780",
         "=approval@early",
          "+20", "=gone@early", "=approval@late", "#", "+20", "=gone@late", "#1"}},
        // clang-format on
    };
    for (const auto& [name, steps] : rows) {
        SCOPED_TRACE(name);
        restart();
        play(steps);
    }
    // A new session beyond the bound replaces the quietest one.
    for (std::size_t i = 0; i < SessionStore::kMaxSessions; ++i) {
        play({"UserPromptSubmit@s" + std::to_string(i), "+1"});
    }
    play({"PreToolUse@s0", "UserPromptSubmit@new", "=working@s0", "=gone@s1", "=thinking@new"});
    EXPECT_EQ(store->sessions().size(), SessionStore::kMaxSessions);
}

TEST_F(SessionStoreTest, CreatingEventsMakeAFreshSessionAndOthersAreIgnored) {
    const std::pair<const char*, BotState> creating[] = {
        // clang-format off
        {"SessionStart", BotState::greeting}, {R"(SessionStart {"source":"startup"})", BotState::greeting},
        {R"(SessionStart {"source":"clear"})", BotState::greeting}, {"UserPromptSubmit",
        BotState::thinking},
        {"PreToolUse:Bash", BotState::working}, {"PreToolUse:Read", BotState::searching},
        {"PreToolUse:AskUserQuestion", BotState::question}, {"PreToolUse", BotState::working},
        {"PermissionRequest:Bash", BotState::approval}, {"StopFailure", BotState::error},
        {R"(Notification {"notification_type":"permission_prompt"})", BotState::approval},
        {R"(Notification {"message":"Claude needs your PerMission"})", BotState::approval},
        {R"({"state":"question"})", BotState::question}, {R"(Stop {"state":"Working"})",
        BotState::working}};
    // clang-format on
    for (const auto& [step, expected] : creating) {
        SCOPED_TRACE(step);
        restart();
        random->uniforms = {0.25};
        handle(step);
        ASSERT_EQ(store->sessions().size(), 1u);
        const Instant now = queue.now();
        const AgentSession& got = store->sessions()[0];  // the activity comes from the tool
        EXPECT_EQ(got, (AgentSession{"s1", "weather", expected, expected, now, now, now, 0.25,
                                     std::nullopt, std::nullopt, got.activity}));
        ASSERT_FALSE(changes.empty());
        EXPECT_EQ(changes[0].kind, Kind::inserted);
        EXPECT_EQ(changes[0].id, "s1");
        EXPECT_EQ(changes[0].animation, SessionAnimation::appear);
    }
    restart();
    const auto waiting = queue.pendingCount();  // the sweepers, of this store and the ones before
    // clang-format off
    for (const char* step : {"PostToolUse", "PostToolBatch", "PostToolUseFailure", "PreCompact",
    "Stop",
         R"(Notification {"notification_type":"idle_prompt"})",
         R"(Notification {"notification_type":"elicitation_dialog"})",
         R"(Notification {"notification_type":"agent_needs_input"})",
         R"(Notification {"notification_type":"auth_success","message":"Signed in"})",
         R"(SessionStart {"source":"compact"})", "SessionEnd", "userpromptsubmit", "SomethingNew"})
        // clang-format on
        handle(step, 4242);
    EXPECT_TRUE(store->sessions().empty());
    EXPECT_TRUE(changes.empty());
    EXPECT_EQ(queue.pendingCount(), waiting) << "nothing but the sweepers should be waiting";

    // A state the store does not know, without an event name, means nothing.
    const auto understands = [](json payload) {
        return SessionStore::understands(HookEvent::fromJson(payload).value());
    };
    EXPECT_TRUE(understands({{"state", "Working"}}));
    EXPECT_FALSE(understands({{"state", "napping"}}));
    EXPECT_TRUE(understands({{"hook_event_name", "Stop"}, {"state", "napping"}}));
}

TEST_F(SessionStoreTest, ProjectComesFromTheLatestWorkingDirectory) {
    // clang-format off
    const std::pair<const char*, const char*> rows[] = {
        {R"(UserPromptSubmit@a {"cwd":"/home/dana/src/weather/"})", "weather"},
        {R"(UserPromptSubmit@c {"cwd":null})", "Claude"},
        {R"(UserPromptSubmit@d {"cwd":""})", "Claude"}, {R"(UserPromptSubmit@e {"cwd":"/"})", "/"},
        // A folder name cannot forge a line of output or reorder what is shown.
        {"UserPromptSubmit@f {\"cwd\":\"/src/we\\nather\\u001b]0;x\\u202e\"}", "we ather]0;x"},
        // A later directory replaces the project; an empty or missing one keeps it.
        {R"(PostToolUse@a {"cwd":"/srv/other"})", "other"}, {R"(PostToolUse@a {"cwd":""})",
        "other"},
        {R"(PostToolUse@a {"cwd":null})", "other"}};
    // clang-format on
    for (const auto& [step, project] : rows) {
        handle(step);
        const std::string name = step;
        EXPECT_EQ(store->session(name.substr(name.find('@') + 1, 1))->project, project) << step;
    }
}

TEST_F(SessionStoreTest, StampsProcessIdsAndAbandonedPermissions) {
    play({"+19", "UserPromptSubmit", "+601", "=sleeping"});
    EXPECT_EQ(store->session("s1")->stateChangedAt, start + 620);
    EXPECT_EQ(store->session("s1")->lastEventAt, start + 19);

    restart();
    handle("UserPromptSubmit", 4242);
    handle("UserPromptSubmit@other", 777);
    play({"UserPromptSubmit@no-pid", "#", "PostToolUse"});  // no pid: kept
    EXPECT_EQ(store->session("s1")->hostPID, 4242);
    handle("PostToolUse", 4242);  // the same pid at the same instant: nothing to publish
    play({"#0"});
    handle("PostToolUse", 200);
    EXPECT_EQ(store->session("s1")->hostPID, 200);
    probe->gone = {200};
    play({"#1", "+19.9", "=thinking", "+0.1", "=gone", "=thinking@no-pid"});
    EXPECT_TRUE(store->session("other")) << "a probe error other than ESRCH counts as alive";
    EXPECT_EQ(probe->asked, (std::vector<std::int32_t>{200, 777}));

    play({R"(PermissionRequest:Bash {"tool_input":{"command":"make"}})"});
    store->permissionAbandoned("s1");
    play({"=idle"});
    EXPECT_FALSE(store->session("s1")->activity);
    play({R"(Notification {"notification_type":"elicitation_dialog"})", "#"});
    store->permissionAbandoned("s1");  // no longer waiting for approval
    store->permissionAbandoned("nobody");
    play({"=question", "#0"});
}

TEST_F(SessionStoreTest, RankingPutsUrgentSessionsFirstAndKeepsListOrder) {
    EXPECT_TRUE(store->visible().empty());
    EXPECT_FALSE(store->hiddenNeedsAttention());
    play({"PreToolUse:Bash@A", "PermissionRequest@B", "StopFailure@C",
          R"(@D {"state":"question"})"});
    EXPECT_EQ(ids(store->ranked()), (Ids{"B", "D", "C", "A"}));
    EXPECT_EQ(ids(store->visible()), (Ids{"B"}));
    EXPECT_TRUE(store->hiddenNeedsAttention());
    EXPECT_EQ(ids(store->sessions()), (Ids{"A", "B", "C", "D"}));
    play({R"(@D {"state":"idle"})"});
    EXPECT_FALSE(store->hiddenNeedsAttention()) << "the only waiting session is the visible one";

    store->clearAll();
    int n = 0;
    for (const char* state : {"finished", "idle", "question", "sleeping", "working", "question",
                              "greeting", "error", "searching", "thinking"}) {
        handle("@" + std::to_string(n++) + " " + json{{"state", state}}.dump());
    }
    EXPECT_EQ(ids(store->ranked()), (Ids{"2", "5", "7", "0", "1", "3", "4", "6", "8", "9"}));
}

TEST_F(SessionStoreTest, TaskAndActivityFollowTheTurn) {
    const auto task = [&] { return store->session("s1")->task; };
    const auto activity = [&] { return store->session("s1")->activity; };
    play({R"(UserPromptSubmit {"prompt":"\n   \n\nFix the flaky test\nIt fails on CI\n"})"});
    EXPECT_EQ(task(), "Fix the flaky test");
    EXPECT_FALSE(activity());
    play({R"(PreToolUse:Bash {"tool_input":{"command":"make test","x":"y"}})", "PostToolUse"});
    EXPECT_EQ(activity(), "Running make test");
    play({"PermissionRequest:mcp__tracker__create_issue"});
    EXPECT_EQ(activity(), "Using tracker");
    play({R"(UserPromptSubmit {"prompt":" \n\t\n"})"});  // keeps the task, clears the activity
    EXPECT_EQ(task(), "Fix the flaky test");
    EXPECT_FALSE(activity());
    for (const char* end :
         {"Stop", "StopFailure", "SessionStart", R"(SessionStart {"source":"compact"})"}) {
        play({"PreToolUse:TodoWrite", end});
        EXPECT_FALSE(activity()) << end;
        EXPECT_EQ(task(), "Fix the flaky test");
    }
}

TEST_F(SessionStoreTest, PublishesOnlyRealChangesToObserversThatMayActAtOnce) {
    const std::string ls = R"(PreToolUse:Bash {"tool_input":{"command":"ls"}})";
    play({ls, "#2", ls, "Stop@unknown", "#0", "+1", ls, "#1"});  // then only lastEventAt moved
    store->remove("unknown");
    store->clearAll();
    store->clearAll();
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].kind, Kind::cleared);
    EXPECT_EQ(changes[0].animation, SessionAnimation::vanish);

    play({"UserPromptSubmit@x", "#"});
    store->remove("x");
    EXPECT_EQ(changes.at(0).kind, Kind::removed);
    EXPECT_EQ(changes.at(0).animation, SessionAnimation::vanish);

    std::vector<std::size_t> seen;
    auto sub = store->changed.connect([&](const SessionChange&) {
        seen.push_back(store->sessions().size());
        if (store->sessions().size() == 2) store->remove("a");
    });
    play({"UserPromptSubmit@a", "UserPromptSubmit@b"});
    EXPECT_EQ(seen, (std::vector<std::size_t>{1, 2, 1}));
    EXPECT_EQ(ids(store->sessions()), (Ids{"b"}));
}

TEST_F(SessionStoreTest, DemoSessionsStartStaggeredWalkScaledStepsAndLeave) {
    random->uuids = {"ABCDEF12-3456-4789-8ABC-DEF012345678", "0a1b2c3d-0000-4000-8000-0000"};
    random->uniforms = {0.5 /* seed */, 0.999999 /* first step: 1.4 times its 1.8 s */};
    store->spawnDemo(2);
    EXPECT_EQ(random->uuidDraws, 2);
    EXPECT_TRUE(store->sessions().empty());
    queue.runPending();
    play({"=greeting@demo-ABCDEF", "+0.349", "=gone@demo-0a1b2c", "+0.002",
          "=greeting@demo-0a1b2c"});
    const auto first = store->sessions().at(0), second = store->sessions().at(1);
    EXPECT_EQ(first.project, "demo-1");
    EXPECT_EQ(first.seed, 0.5);
    EXPECT_EQ(second.project, "demo-2");
    EXPECT_FALSE(second.task || second.activity || second.hostPID);
    play({"+2.168", "=greeting@demo-ABCDEF", "+0.02", "=thinking@demo-ABCDEF", "+120",
          "=gone@demo-ABCDEF"});

    // Clearing ends a running demo, but a demo still to come starts.
    store->spawnDemo(2);
    queue.runPending();
    store->clearAll();
    play({"#", "+0.35", "#1"});
    store->remove(store->sessions().at(0).id);
    play({"#", "+120", "#0"});
    EXPECT_EQ(queue.pendingCount(), 1u) << "only the sweeper should be waiting";

    store->spawnDemo(3);
    std::weak_ptr<SessionStore> weak = store;
    store.reset();
    EXPECT_TRUE(weak.expired());
    queue.advance(3600);
    EXPECT_EQ(queue.pendingCount(), 0u) << "delayed work ends with the store";
}

}  // namespace
}  // namespace brimwick
