#include "sessions/session_store.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/fake_process_probe.h"
#include "support/fake_random.h"
#include "support/manual_main_queue.h"
#include "support/recorded_session.h"

namespace brimwick {
namespace {

using nlohmann::json;
using testing::FakeProcessProbe;
using testing::FakeRandom;
using testing::ManualMainQueue;
using Kind = SessionChange::Kind;

class SessionStoreTest : public ::testing::Test {
  protected:
    SessionStoreTest() {
        subscription_ = store->changed.connect(
            [this](const SessionChange& change) { changes.push_back(change); });
    }

    // A payload for session "s1" in /home/dana/src/weather, with `fields` added.
    static HookEvent event(const std::string& name, json fields = json::object()) {
        json payload = {{"session_id", "s1"}, {"cwd", "/home/dana/src/weather"}};
        if (!name.empty()) payload["hook_event_name"] = name;
        payload.update(fields);
        auto decoded = HookEvent::fromJson(payload);
        EXPECT_TRUE(decoded) << payload.dump();
        return decoded.value_or(HookEvent{});
    }

    void handle(const std::string& name, json fields = json::object()) {
        store->handle(event(name, std::move(fields)));
    }

    std::optional<BotState> stateOf(const std::string& id = "s1") const {
        auto session = store->session(id);
        return session ? std::optional(session->state) : std::nullopt;
    }

    std::vector<std::string> ids(const std::vector<AgentSession>& sessions) const {
        std::vector<std::string> out;
        for (const auto& s : sessions) out.push_back(s.id);
        return out;
    }

    // Moves virtual time to `offset` seconds after the store was created.
    void at(double offset) { queue.advance(start + offset - queue.now()); }

    ManualMainQueue queue;
    const Instant start = queue.now();
    std::shared_ptr<FakeProcessProbe> probe = std::make_shared<FakeProcessProbe>();
    std::shared_ptr<FakeRandom> random = std::make_shared<FakeRandom>();
    std::shared_ptr<SessionStore> store = SessionStore::create(queue, queue, probe, random);
    std::vector<SessionChange> changes;

  private:
    Subscription subscription_;
};

TEST_F(SessionStoreTest, CreatingEventsMakeAFreshSession) {
    struct Row {
        std::string name;
        json fields;
        BotState expected;
    };
    const std::vector<Row> rows = {
        {"SessionStart", json::object(), BotState::greeting},
        {"SessionStart", {{"source", "startup"}}, BotState::greeting},
        {"SessionStart", {{"source", "clear"}}, BotState::greeting},
        {"UserPromptSubmit", json::object(), BotState::thinking},
        {"PreToolUse", {{"tool_name", "Bash"}}, BotState::working},
        {"PreToolUse", {{"tool_name", "Read"}}, BotState::searching},
        {"PreToolUse", {{"tool_name", "AskUserQuestion"}}, BotState::question},
        {"PreToolUse", json::object(), BotState::working},
        {"PermissionRequest", {{"tool_name", "Bash"}}, BotState::approval},
        {"Notification", {{"notification_type", "permission_prompt"}}, BotState::approval},
        {"Notification", {{"message", "Claude needs your PerMission"}}, BotState::approval},
        {"StopFailure", json::object(), BotState::error},
        {"", {{"state", "question"}}, BotState::question},
        {"Stop", {{"state", "Working"}}, BotState::working},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name + " " + row.fields.dump());
        store->clearAll();
        changes.clear();
        random->uniforms = {0.25};
        handle(row.name, row.fields);

        ASSERT_EQ(store->sessions().size(), 1u);
        const AgentSession& s = store->sessions().front();
        EXPECT_EQ(s.id, "s1");
        EXPECT_EQ(s.project, "weather");
        EXPECT_EQ(s.state, row.expected);
        EXPECT_EQ(s.previousState, row.expected);
        EXPECT_EQ(s.stateChangedAt, queue.now());
        EXPECT_EQ(s.createdAt, queue.now());
        EXPECT_EQ(s.lastEventAt, queue.now());
        EXPECT_EQ(s.seed, 0.25);
        EXPECT_FALSE(s.hostPID);
        EXPECT_FALSE(s.task);
        ASSERT_FALSE(changes.empty());
        EXPECT_EQ(changes.front().kind, Kind::inserted);
        EXPECT_EQ(changes.front().id, "s1");
        EXPECT_EQ(changes.front().animation, SessionAnimation::appear);
    }
}

TEST_F(SessionStoreTest, OtherEventsIgnoreUnknownSessions) {
    const std::vector<std::pair<std::string, json>> rows = {
        {"PostToolUse", json::object()},
        {"PostToolBatch", json::object()},
        {"PostToolUseFailure", json::object()},
        {"PreCompact", json::object()},
        {"Stop", json::object()},
        {"Notification", {{"notification_type", "idle_prompt"}}},
        {"Notification", {{"notification_type", "elicitation_dialog"}}},
        {"Notification", {{"notification_type", "agent_needs_input"}}},
        {"Notification", {{"notification_type", "auth_success"}, {"message", "Signed in"}}},
        {"SessionStart", {{"source", "compact"}}},
        {"SessionEnd", json::object()},
        {"userpromptsubmit", json::object()},
        {"SomethingNew", json::object()},
    };
    for (const auto& [name, fields] : rows) {
        HookEvent e = event(name, fields);
        e.hostPID = 4242;
        store->handle(e);
    }
    EXPECT_TRUE(store->sessions().empty());
    EXPECT_TRUE(changes.empty());
    EXPECT_EQ(queue.pendingCount(), 1u) << "only the sweeper should be waiting";
}

TEST_F(SessionStoreTest, ProjectComesFromTheWorkingDirectory) {
    handle("UserPromptSubmit", {{"session_id", "a"}, {"cwd", "/home/dana/src/weather/"}});
    handle("UserPromptSubmit", {{"session_id", "b"}});
    store->handle(
        HookEvent::fromJson({{"hook_event_name", "UserPromptSubmit"}, {"session_id", "c"}})
            .value());
    handle("UserPromptSubmit", {{"session_id", "d"}, {"cwd", ""}});
    handle("UserPromptSubmit", {{"session_id", "e"}, {"cwd", "/"}});
    EXPECT_EQ(store->session("a")->project, "weather");
    EXPECT_EQ(store->session("c")->project, "Claude");
    EXPECT_EQ(store->session("d")->project, "Claude");
    EXPECT_EQ(store->session("e")->project, "/");
    // A folder name cannot forge a line of output or reorder what is shown.
    handle("UserPromptSubmit", {{"session_id", "f"}, {"cwd", "/src/we\nather\u001b]0;x\u202e"}});
    EXPECT_EQ(store->session("f")->project, "we ather]0;x");

    // A later directory replaces the project; an empty or missing one keeps it.
    handle("PostToolUse", {{"session_id", "b"}, {"cwd", "/srv/other"}});
    EXPECT_EQ(store->session("b")->project, "other");
    handle("PostToolUse", {{"session_id", "b"}, {"cwd", ""}});
    store->handle(
        HookEvent::fromJson({{"hook_event_name", "PostToolUse"}, {"session_id", "b"}}).value());
    EXPECT_EQ(store->session("b")->project, "other");
}

TEST_F(SessionStoreTest, ANewSessionBeyondTheBoundReplacesTheQuietestOne) {
    for (std::size_t i = 0; i < SessionStore::kMaxSessions; ++i) {
        handle("UserPromptSubmit", {{"session_id", "s" + std::to_string(i)}});
        queue.advance(1);
    }
    handle("PreToolUse", {{"session_id", "s0"}});  // s1 is now the quietest
    handle("UserPromptSubmit", {{"session_id", "new"}});
    EXPECT_EQ(store->sessions().size(), SessionStore::kMaxSessions);
    EXPECT_TRUE(store->session("s0"));
    EXPECT_FALSE(store->session("s1"));
    EXPECT_TRUE(store->session("new"));
}

TEST_F(SessionStoreTest, EventsMoveAnExistingSession) {
    handle("UserPromptSubmit");
    at(1);
    handle("PreToolUse", {{"tool_name", "Edit"}});
    EXPECT_EQ(stateOf(), BotState::working);
    EXPECT_EQ(store->session("s1")->previousState, BotState::thinking);
    EXPECT_EQ(store->session("s1")->stateChangedAt, start + 1);
    handle("PostToolUse");
    EXPECT_EQ(stateOf(), BotState::thinking);
    handle("PreCompact");
    EXPECT_EQ(stateOf(), BotState::working);
    handle("PostToolBatch");
    EXPECT_EQ(stateOf(), BotState::thinking);
    handle("Notification", {{"notification_type", "idle_prompt"}});
    EXPECT_EQ(stateOf(), BotState::question);
    handle("Notification", {{"notification_type", "auth_success"}});
    EXPECT_EQ(stateOf(), BotState::question);
    handle("Notification", {{"message", "Claude needs your permission to use Bash"}});
    EXPECT_EQ(stateOf(), BotState::approval);
    handle("SessionEnd");
    EXPECT_FALSE(store->session("s1"));
    EXPECT_EQ(changes.back().kind, Kind::removed);
    EXPECT_EQ(changes.back().animation, SessionAnimation::vanish);
}

TEST_F(SessionStoreTest, AnAbandonedPermissionEndsOnlyAnApprovalWait) {
    handle("PermissionRequest", {{"tool_name", "Bash"}, {"tool_input", {{"command", "make"}}}});
    store->permissionAbandoned("s1");
    EXPECT_EQ(stateOf(), BotState::idle);
    EXPECT_FALSE(store->session("s1")->activity);

    // A session that has moved on, or none at all, is left alone.
    handle("Notification", {{"notification_type", "elicitation_dialog"}});
    const auto published = changes.size();
    store->permissionAbandoned("s1");
    store->permissionAbandoned("nobody");
    EXPECT_EQ(stateOf(), BotState::question);
    EXPECT_EQ(changes.size(), published);
}

TEST_F(SessionStoreTest, ExplicitStateWinsOverTheEventName) {
    handle("UserPromptSubmit", {{"state", "finished"}});
    EXPECT_EQ(stateOf(), BotState::finished);
    queue.advance(2.399);
    EXPECT_TRUE(store->session("s1"));
    queue.advance(0.002);
    EXPECT_FALSE(store->session("s1"));

    // A greeting set explicitly does not settle into idle.
    handle("", {{"state", "GREETING"}});
    queue.advance(60);
    EXPECT_EQ(stateOf(), BotState::greeting);

    // A state the store does not know, without an event name, means nothing.
    EXPECT_TRUE(SessionStore::understands(event("", {{"state", "Working"}})));
    EXPECT_FALSE(SessionStore::understands(event("", {{"state", "napping"}})));
    EXPECT_TRUE(SessionStore::understands(event("Stop", {{"state", "napping"}})));
}

TEST_F(SessionStoreTest, SessionStartGreetsOnlyFreshSessions) {
    handle("SessionStart", {{"source", "startup"}});
    EXPECT_EQ(stateOf(), BotState::greeting);
    queue.advance(1.999);
    EXPECT_EQ(stateOf(), BotState::greeting);
    queue.advance(0.002);
    EXPECT_EQ(stateOf(), BotState::idle);
    EXPECT_EQ(store->session("s1")->previousState, BotState::greeting);

    handle("UserPromptSubmit");
    handle("SessionStart", {{"source", "resume"}});
    handle("SessionStart");
    handle("SessionStart", {{"source", "compact"}});
    queue.advance(5);
    EXPECT_EQ(stateOf(), BotState::thinking);

    handle("SessionStart", {{"source", "startup"}});
    EXPECT_EQ(stateOf(), BotState::greeting);
    queue.advance(2.001);
    EXPECT_EQ(stateOf(), BotState::idle);
}

TEST_F(SessionStoreTest, AStateChangeCancelsThePendingSettle) {
    handle("SessionStart", {{"source", "startup"}});
    queue.advance(1);
    handle("UserPromptSubmit");
    queue.advance(10);
    EXPECT_EQ(stateOf(), BotState::thinking);

    handle("PostToolUseFailure");
    EXPECT_EQ(stateOf(), BotState::error);
    queue.advance(0.5);
    handle("PreToolUse", {{"tool_name", "Bash"}});
    queue.advance(10);
    EXPECT_EQ(stateOf(), BotState::working);

    // Leaving and coming back to the same state also cancels: the stamp moved.
    handle("PostToolUseFailure");
    queue.advance(0.5);
    handle("PostToolUse");
    handle("PostToolUseFailure");
    queue.advance(1.2);  // 1.7 s after the first failure, 1.2 s after the second
    EXPECT_EQ(stateOf(), BotState::error);
    queue.advance(0.5);
    EXPECT_EQ(stateOf(), BotState::thinking);
}

TEST_F(SessionStoreTest, RepeatingTheSameStateKeepsThePendingSettle) {
    handle("SessionStart", {{"source", "startup"}});
    queue.advance(1);
    handle("", {{"state", "greeting"}});
    EXPECT_EQ(store->session("s1")->lastEventAt, start + 1);
    queue.advance(1.001);
    EXPECT_EQ(stateOf(), BotState::idle);

    handle("PostToolUseFailure");
    queue.advance(1);
    handle("PostToolUseFailure");
    queue.advance(0.601);
    EXPECT_EQ(stateOf(), BotState::thinking);
}

TEST_F(SessionStoreTest, FinishedSessionsLeaveAfter2point4Seconds) {
    handle("UserPromptSubmit");
    handle("Stop");
    EXPECT_EQ(stateOf(), BotState::finished);
    queue.advance(1);
    handle("Stop");  // the same state again does not postpone the removal
    queue.advance(1.399);
    EXPECT_TRUE(store->session("s1"));
    changes.clear();
    queue.advance(0.002);
    EXPECT_FALSE(store->session("s1"));
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].kind, Kind::removed);
    EXPECT_EQ(changes[0].animation, SessionAnimation::vanish);
}

TEST_F(SessionStoreTest, APromptAfterStopKeepsTheSession) {
    handle("UserPromptSubmit");
    handle("Stop");
    queue.advance(2.3);
    handle("UserPromptSubmit");
    queue.advance(60);
    EXPECT_EQ(stateOf(), BotState::thinking);
}

TEST_F(SessionStoreTest, StateChangesWithinOneClockTickStillCancel) {
    // Stop and the next prompt can share a time stamp; the removal must still see the change.
    handle("UserPromptSubmit");
    handle("Stop");
    handle("UserPromptSubmit");
    queue.advance(10);
    EXPECT_EQ(stateOf(), BotState::thinking);

    // A removed session recreated at once under the same id is a new session.
    handle("Stop");
    handle("SessionEnd");
    handle("UserPromptSubmit");
    queue.advance(10);
    EXPECT_EQ(stateOf(), BotState::thinking);
}

TEST_F(SessionStoreTest, StopFailureLeavesAfterFourSeconds) {
    handle("StopFailure", {{"error", "rate_limit"}});
    EXPECT_EQ(stateOf(), BotState::error);
    queue.advance(3.999);
    EXPECT_TRUE(store->session("s1"));
    queue.advance(0.002);
    EXPECT_FALSE(store->session("s1"));

    handle("StopFailure");
    queue.advance(1);
    handle("UserPromptSubmit");
    queue.advance(10);
    EXPECT_EQ(stateOf(), BotState::thinking);
}

TEST_F(SessionStoreTest, QuietSessionsFallAsleepAfterMoreThan600Seconds) {
    at(19);
    handle("UserPromptSubmit", {{"session_id", "early"}});
    handle("PermissionRequest", {{"session_id", "waiting"}});
    handle("Notification", {{"session_id", "asking"}, {"notification_type", "permission_prompt"}});
    handle("Notification", {{"session_id", "asking"}, {"notification_type", "idle_prompt"}});
    at(20);  // the first sweep runs before this event
    handle("UserPromptSubmit", {{"session_id", "late"}});

    at(600);  // sweep: 581 and 580 s quiet
    EXPECT_EQ(stateOf("early"), BotState::thinking);
    at(620);  // sweep: 601 and 600 s quiet
    EXPECT_EQ(stateOf("early"), BotState::sleeping);
    EXPECT_EQ(stateOf("late"), BotState::thinking);
    EXPECT_EQ(stateOf("waiting"), BotState::approval);
    EXPECT_EQ(stateOf("asking"), BotState::question);
    const auto early = *store->session("early");
    EXPECT_EQ(early.previousState, BotState::thinking);
    EXPECT_EQ(early.stateChangedAt, start + 620);
    EXPECT_EQ(early.lastEventAt, start + 19);
    at(640);
    EXPECT_EQ(stateOf("late"), BotState::sleeping);

    // Asleep stays asleep without further writes, until the next applied state.
    changes.clear();
    at(1000);
    EXPECT_TRUE(changes.empty());
    handle("PostToolUse", {{"session_id", "early"}});
    EXPECT_EQ(stateOf("early"), BotState::thinking);
    EXPECT_EQ(store->session("early")->previousState, BotState::sleeping);
}

TEST_F(SessionStoreTest, SessionsAreForgottenAfterMoreThan1800Seconds) {
    at(19);
    handle("PermissionRequest", {{"session_id", "early"}});
    at(20);
    handle("PermissionRequest", {{"session_id", "late"}});
    at(1800);
    EXPECT_EQ(stateOf("early"), BotState::approval);
    at(1820);  // 1801 and 1800 s quiet
    EXPECT_FALSE(store->session("early"));
    EXPECT_EQ(stateOf("late"), BotState::approval);
    at(1840);
    EXPECT_FALSE(store->session("late"));
    EXPECT_EQ(changes.back().kind, Kind::removed);
}

TEST_F(SessionStoreTest, SessionsOfExitedProcessesAreRemovedAtTheNextSweep) {
    HookEvent e = event("UserPromptSubmit");
    e.hostPID = 4242;
    store->handle(e);
    e.sessionId = "other";
    e.hostPID = 777;
    store->handle(e);
    handle("UserPromptSubmit", {{"session_id", "no-pid"}});
    ASSERT_EQ(store->session("s1")->hostPID, 4242);

    probe->gone = {4242};
    at(19.9);
    EXPECT_TRUE(store->session("s1"));
    at(20);
    EXPECT_FALSE(store->session("s1"));
    EXPECT_TRUE(store->session("other")) << "a probe error other than ESRCH counts as alive";
    EXPECT_TRUE(store->session("no-pid"));
    EXPECT_EQ(probe->asked, (std::vector<std::int32_t>{4242, 777}));
}

TEST_F(SessionStoreTest, HostPidIsStoredWhenNewOrDifferent) {
    HookEvent e = event("UserPromptSubmit");
    e.hostPID = 100;
    store->handle(e);
    changes.clear();
    store->handle(event("PostToolUse"));  // no pid: kept
    EXPECT_EQ(store->session("s1")->hostPID, 100);
    e.name = "PostToolUse";
    store->handle(e);  // same pid, same instant: nothing to publish
    EXPECT_TRUE(changes.empty());
    e.hostPID = 200;
    store->handle(e);
    EXPECT_EQ(store->session("s1")->hostPID, 200);
    EXPECT_EQ(changes.size(), 1u);
}

TEST_F(SessionStoreTest, RankingPutsUrgentSessionsFirstAndKeepsListOrder) {
    EXPECT_TRUE(store->visible().empty());
    EXPECT_FALSE(store->hiddenNeedsAttention());

    handle("PreToolUse", {{"session_id", "A"}, {"tool_name", "Bash"}});
    handle("PermissionRequest", {{"session_id", "B"}});
    handle("StopFailure", {{"session_id", "C"}});
    handle("", {{"session_id", "D"}, {"state", "question"}});
    EXPECT_EQ(ids(store->ranked()), (std::vector<std::string>{"B", "D", "C", "A"}));
    EXPECT_EQ(ids(store->visible()), (std::vector<std::string>{"B"}));
    EXPECT_TRUE(store->hiddenNeedsAttention());
    EXPECT_EQ(ids(store->sessions()), (std::vector<std::string>{"A", "B", "C", "D"}));

    handle("", {{"session_id", "D"}, {"state", "idle"}});
    EXPECT_FALSE(store->hiddenNeedsAttention()) << "the only waiting session is the visible one";

    store->clearAll();
    const char* states[] = {"finished", "idle",     "question", "sleeping",  "working",
                            "question", "greeting", "error",    "searching", "thinking"};
    int n = 0;
    for (const char* state : states) {
        handle("", {{"session_id", std::to_string(n++)}, {"state", state}});
    }
    EXPECT_EQ(ids(store->ranked()),
              (std::vector<std::string>{"2", "5", "7", "0", "1", "3", "4", "6", "8", "9"}));
}

TEST_F(SessionStoreTest, TaskAndActivityFollowTheTurn) {
    handle("UserPromptSubmit", {{"prompt", "\n   \n\nFix the flaky test\nIt fails on CI\n"}});
    EXPECT_EQ(store->session("s1")->task, "Fix the flaky test");
    EXPECT_FALSE(store->session("s1")->activity);

    handle("PreToolUse",
           {{"tool_name", "Bash"}, {"tool_input", {{"command", "make test"}, {"x", "y"}}}});
    EXPECT_EQ(store->session("s1")->activity, "Running make test");
    handle("PostToolUse");
    EXPECT_EQ(store->session("s1")->activity, "Running make test");
    handle("PermissionRequest", {{"tool_name", "mcp__tracker__create_issue"}});
    EXPECT_EQ(store->session("s1")->activity, "Using tracker");
    handle("PreToolUse",
           {{"tool_name", "WebFetch"}, {"tool_input", {{"url", "https://api.example.com/v1"}}}});
    EXPECT_EQ(store->session("s1")->activity, "Fetching api.example.com");
    handle("PreToolUse", {{"tool_name", "Read"},
                          {"tool_input", {{"file_path", "/home/dana/src/weather/main.cpp"}}}});
    EXPECT_EQ(store->session("s1")->activity, "Reading main.cpp");

    // A blank prompt keeps the task but still clears the activity.
    handle("UserPromptSubmit", {{"prompt", " \n\t\n"}});
    EXPECT_EQ(store->session("s1")->task, "Fix the flaky test");
    EXPECT_FALSE(store->session("s1")->activity);

    for (const char* name : {"Stop", "StopFailure", "SessionStart"}) {
        handle("PreToolUse", {{"tool_name", "TodoWrite"}});
        EXPECT_EQ(store->session("s1")->activity, "Planning");
        handle(name);
        EXPECT_FALSE(store->session("s1")->activity) << name;
        EXPECT_EQ(store->session("s1")->task, "Fix the flaky test");
    }
    handle("PreToolUse", {{"tool_name", "TodoWrite"}});
    handle("SessionStart", {{"source", "compact"}});
    EXPECT_FALSE(store->session("s1")->activity);
}

TEST_F(SessionStoreTest, TaskIsCutAt160Characters) {
    const std::string family = "\U0001F468\u200D\U0001F469\u200D\U0001F467\u200D\U0001F466";
    handle("UserPromptSubmit", {{"prompt", std::string(159, 'x') + family + "tail\nmore"}});
    EXPECT_EQ(store->session("s1")->task, std::string(159, 'x') + family);
}

TEST_F(SessionStoreTest, NothingIsPublishedWhenNothingChanged) {
    handle("PreToolUse", {{"tool_name", "Bash"}, {"tool_input", {{"command", "ls"}}}});
    EXPECT_EQ(changes.size(), 2u);  // inserted, then its activity
    changes.clear();
    handle("PreToolUse", {{"tool_name", "Bash"}, {"tool_input", {{"command", "ls"}}}});
    store->remove("unknown");
    handle("Stop", {{"session_id", "unknown"}});
    EXPECT_TRUE(changes.empty());

    queue.advance(1);
    handle("PreToolUse", {{"tool_name", "Bash"}, {"tool_input", {{"command", "ls"}}}});
    EXPECT_EQ(changes.size(), 1u) << "only lastEventAt moved";

    store->clearAll();
    store->clearAll();
    EXPECT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes.back().kind, Kind::cleared);
    EXPECT_EQ(changes.back().animation, SessionAnimation::vanish);
}

TEST_F(SessionStoreTest, ObserversSeeTheChangeAlreadyApplied) {
    std::vector<std::size_t> seen;
    auto sub = store->changed.connect([&](const SessionChange&) {
        seen.push_back(store->sessions().size());
        // An observer may act on the store from inside the notification.
        if (store->sessions().size() == 2) store->remove("a");
    });
    handle("UserPromptSubmit", {{"session_id", "a"}});
    handle("UserPromptSubmit", {{"session_id", "b"}});
    EXPECT_EQ(seen, (std::vector<std::size_t>{1, 2, 1}));
    EXPECT_EQ(ids(store->sessions()), (std::vector<std::string>{"b"}));
}

TEST_F(SessionStoreTest, DelayedWorkDoesNothingOnceTheStoreIsGone) {
    handle("SessionStart", {{"source", "startup"}});
    handle("Stop", {{"session_id", "s1"}});
    store->spawnDemo(3);
    std::weak_ptr<SessionStore> weak = store;
    store.reset();
    EXPECT_TRUE(weak.expired());
    queue.advance(3600);
    EXPECT_EQ(queue.pendingCount(), 0u) << "the sweeper ends with the store";
}

TEST_F(SessionStoreTest, DemoSessionsStartStaggeredWithTheirIdsAndProjects) {
    random->uuids = {"ABCDEF12-3456-4789-8ABC-DEF012345678", "0a1b2c3d-0000-4000-8000-0000"};
    store->spawnDemo(2);
    EXPECT_EQ(random->uuidDraws, 2);
    EXPECT_TRUE(store->sessions().empty());
    queue.runPending();
    ASSERT_EQ(store->sessions().size(), 1u);
    EXPECT_EQ(store->sessions()[0].id, "demo-ABCDEF");
    EXPECT_EQ(store->sessions()[0].project, "demo-1");
    EXPECT_EQ(store->sessions()[0].state, BotState::greeting);
    queue.advance(0.349);
    EXPECT_EQ(store->sessions().size(), 1u);
    queue.advance(0.002);
    ASSERT_EQ(store->sessions().size(), 2u);
    EXPECT_EQ(store->sessions()[1].id, "demo-0a1b2c");
    EXPECT_EQ(store->sessions()[1].project, "demo-2");
    EXPECT_FALSE(store->sessions()[1].task);
    EXPECT_FALSE(store->sessions()[1].activity);
    EXPECT_FALSE(store->sessions()[1].hostPID);
}

TEST_F(SessionStoreTest, DemoWalksItsScriptAndLeaves) {
    random->fallbackUniform = 0.0;  // every step lasts 0.7 of its length
    std::vector<std::pair<double, BotState>> steps;
    auto sub = store->changed.connect([&](const SessionChange& change) {
        if (auto s = store->session(change.id)) steps.emplace_back(queue.now() - start, s->state);
        if (change.kind == Kind::removed) steps.emplace_back(queue.now() - start, BotState::idle);
    });
    store->spawnDemo(1);
    queue.advance(120);

    const std::vector<std::pair<double, BotState>> script = {
        {1.8, BotState::greeting},  {2.2, BotState::thinking}, {2.6, BotState::working},
        {2.0, BotState::searching}, {1.4, BotState::thinking}, {2.4, BotState::approval},
        {2.2, BotState::working},   {2.0, BotState::question}, {1.6, BotState::error},
        {1.8, BotState::working}};
    ASSERT_EQ(steps.size(), script.size() + 2);
    double t = 0;
    for (std::size_t i = 0; i < script.size(); ++i) {
        EXPECT_NEAR(steps[i].first, t, 1e-6) << i;
        EXPECT_EQ(steps[i].second, script[i].second) << i;
        t += script[i].first * 0.7;
    }
    EXPECT_NEAR(steps[10].first, t, 1e-6);
    EXPECT_EQ(steps[10].second, BotState::finished);
    EXPECT_NEAR(steps[11].first, t + 2.4, 1e-6);
    EXPECT_TRUE(store->sessions().empty());
}

TEST_F(SessionStoreTest, DemoStepLengthsAreScaledBy0point7To1point4) {
    random->uniforms = {0.5 /* seed */, 0.999999 /* first step */};
    store->spawnDemo(1);
    queue.runPending();
    EXPECT_EQ(store->sessions()[0].seed, 0.5);
    queue.advance(1.8 * 1.4 - 0.01);
    EXPECT_EQ(store->sessions()[0].state, BotState::greeting);
    queue.advance(0.02);
    EXPECT_EQ(store->sessions()[0].state, BotState::thinking);
}

TEST_F(SessionStoreTest, ClearingEndsARunningDemo) {
    store->spawnDemo(5);
    queue.advance(3);
    EXPECT_EQ(store->sessions().size(), 5u);
    store->clearAll();
    changes.clear();
    queue.advance(120);
    EXPECT_TRUE(store->sessions().empty());
    EXPECT_TRUE(changes.empty());
    EXPECT_EQ(queue.pendingCount(), 1u) << "only the sweeper should be waiting";

    // A demo that has not greeted yet still starts after a clear.
    store->spawnDemo(2);
    queue.runPending();
    store->clearAll();
    queue.advance(0.35);
    EXPECT_EQ(store->sessions().size(), 1u);
    store->remove(store->sessions()[0].id);
    queue.advance(120);
    EXPECT_TRUE(store->sessions().empty());
}

TEST_F(SessionStoreTest, RecordedSessionGoesThroughItsStates) {
    const auto payloads = testing::recordedPayloadsJson();
    ASSERT_GE(payloads.size(), 7u);
    auto play = [&](std::size_t line) {
        auto e = HookEvent::fromJson(payloads[line - 1]);
        ASSERT_TRUE(e) << line;
        e->hostPID = 31337;  // what the hook server takes from X-Claude-PID
        store->handle(*e);
    };
    const std::string id = payloads[0]["session_id"];

    play(1);
    EXPECT_EQ(stateOf(id), BotState::greeting);
    EXPECT_EQ(store->session(id)->project, "weather");
    EXPECT_EQ(store->session(id)->hostPID, 31337);
    queue.advance(2.5);
    EXPECT_EQ(stateOf(id), BotState::idle);

    play(2);
    EXPECT_EQ(stateOf(id), BotState::thinking);
    EXPECT_EQ(store->session(id)->task, "go");
    queue.advance(3);
    play(3);
    EXPECT_EQ(stateOf(id), BotState::working);
    EXPECT_EQ(store->session(id)->activity, "Running echo hi > out.txt");
    queue.advance(0.5);
    play(4);
    EXPECT_EQ(stateOf(id), BotState::approval);
    EXPECT_EQ(store->session(id)->activity, "Running echo hi > out.txt");
    queue.advance(4);
    play(5);
    EXPECT_EQ(stateOf(id), BotState::thinking);
    queue.advance(1);
    play(6);
    EXPECT_EQ(stateOf(id), BotState::finished);
    EXPECT_FALSE(store->session(id)->activity);
    EXPECT_EQ(store->session(id)->task, "go");
    queue.advance(0.2);
    changes.clear();
    play(7);
    EXPECT_TRUE(store->sessions().empty());
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].kind, Kind::removed);
    queue.advance(10);
    EXPECT_EQ(changes.size(), 1u) << "the pending removal finds nothing more to do";
}

}  // namespace
}  // namespace brimwick
