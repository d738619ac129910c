#include "approvals/approval_gate.h"

#include <gtest/gtest.h>

#include "support/fake_random.h"
#include "support/manual_main_queue.h"

namespace brimwick {
namespace {

using nlohmann::json;
using Replies = std::vector<std::pair<std::string, std::optional<std::string>>>;

class ApprovalGateTest : public ::testing::Test {
  protected:
    ApprovalGateTest() {
        random->uuids = {"3F2504E0-4F89-41D3-9A0C-0305E82C3301",
                         "0A1B2C3D-0000-4000-8000-000000000000",
                         "DEADBEEF-0000-4000-8000-000000000000"};
        gate->addAnswerer([this] { return phoneWatches; });
        subscription = gate->changed.connect([this] { ++changes; });
    }

    HookServer::Reply reply(std::string name) {
        return HookServer::Reply([this, name](auto data, auto) { got.emplace_back(name, data); });
    }
    static HookEvent event(const std::string& name, const std::string& session = "s1",
                           json fields = json::object()) {
        fields.update({{"hook_event_name", name}, {"session_id", session}});
        return HookEvent::fromJson(fields).value();
    }
    static HookEvent permission(const std::string& session = "s1", json fields = json::object()) {
        json base = {{"tool_name", "Bash"}, {"tool_input", {{"command", "npm test"}}}};
        base.update(fields);
        return event("PermissionRequest", session, base);
    }

    testing::ManualMainQueue queue;
    // Declared before the gate: releasing its held requests on destruction writes here.
    Replies got;
    bool phoneWatches = true;
    int changes = 0;
    std::shared_ptr<testing::FakeRandom> random = std::make_shared<testing::FakeRandom>();
    std::shared_ptr<ApprovalGate> gate = ApprovalGate::create(queue, queue, random);
    Subscription subscription;
};

TEST_F(ApprovalGateTest, RequestsWaitOnlyWhileSomeoneCanAnswer) {
    phoneWatches = false;
    EXPECT_EQ(gate->request(permission(), reply("nobody")), std::nullopt);
    EXPECT_EQ(got, (Replies{{"nobody", std::nullopt}}));

    bool desktop = true;
    gate->addAnswerer([&] { return desktop; });
    EXPECT_EQ(gate->request(permission("s1"), reply("desktop")), "3f2504e0");
    phoneWatches = true;
    gate->request(permission("s2"), reply("both"));
    // One answerer leaving keeps what the other can answer; the last one leaving releases all.
    phoneWatches = false;
    gate->answerersChanged();
    EXPECT_EQ(gate->pending().size(), 2u);
    desktop = false;
    gate->answerersChanged();
    // Released in the order of their ids.
    EXPECT_EQ(got, (Replies{{"nobody", {}}, {"both", {}}, {"desktop", {}}}));
    EXPECT_TRUE(gate->pending().empty());
}

TEST_F(ApprovalGateTest, AHeldRequestCarriesWhatAnAnswererNeeds) {
    const Instant asked = queue.now();
    gate->request(
        event("PermissionRequest", "s1",
              {{"tool_input", {{"command", "rm -rf build"}}},
               {"permission_suggestions", {{{"type", "addRules"}, {"behavior", "allow"}}}}}),
        reply("held"));
    EXPECT_EQ(changes, 1);
    ASSERT_EQ(gate->pending().size(), 1u);
    const auto& [id, approval] = *gate->pending().begin();
    EXPECT_EQ(id, "3f2504e0");
    EXPECT_EQ(approval.id, "3f2504e0");
    EXPECT_EQ(approval.sessionId, "s1");
    EXPECT_EQ(approval.tool, "Tool");  // the request named none
    EXPECT_EQ(approval.detail, "rm -rf build");
    EXPECT_EQ(approval.suggestions.value().size(), 1u);
    EXPECT_DOUBLE_EQ(approval.expiresAt, asked + 110.0);
    EXPECT_TRUE(gate->waitsFor("s1") && !gate->waitsFor("s2"));

    // A drawn id that is already waiting is drawn again.
    random->uuids = {"3F2504E0-1111-4000-8000-000000000000", "BBBBBBBB-0000-4000-8000-000000000000",
                     "DEADBEEF-0000-4000-8000-000000000000"};
    EXPECT_EQ(gate->request(permission("s2"), reply("other")), "bbbbbbbb");
    // A newer request of the same session replaces the older, whose answer then comes too late.
    gate->request(permission("s1", {{"tool_name", "Edit"}}), reply("second"));
    EXPECT_EQ(got, (Replies{{"held", std::nullopt}}));
    ASSERT_EQ(gate->pending().size(), 2u);
    EXPECT_EQ(gate->pending().at("deadbeef").tool, "Edit");
    EXPECT_EQ(gate->pending().at("bbbbbbbb").sessionId, "s2");
    EXPECT_FALSE(gate->decide("3f2504e0", "allow").ok);
    EXPECT_EQ(got.size(), 1u);
}

TEST_F(ApprovalGateTest, OnlyEventsThatMovePastTheRequestReleaseIt) {
    for (const char* name : {"PreToolUse", "PostToolUse", "PostToolUseFailure", "PostToolBatch",
                             "UserPromptSubmit", "Stop", "StopFailure", "SessionEnd"}) {
        got.clear();
        gate->request(permission("s1"), reply("mine"));
        gate->request(permission("s2"), reply("other"));
        gate->sessionMoved(event(name, "s1"));
        EXPECT_EQ(got, (Replies{{"mine", std::nullopt}})) << name;
        EXPECT_FALSE(gate->waitsFor("s1")) << name;
        gate->sessionMoved(event(name, "s2"));
    }
    got.clear();
    gate->request(permission("s1"), reply("held"));
    for (const char* name : {"Notification", "PermissionRequest", "SessionStart", "PreCompact",
                             "SubagentStop", "posttooluse", "Stop "}) {
        gate->sessionMoved(event(name, "s1"));
    }
    EXPECT_TRUE(got.empty());
}

TEST_F(ApprovalGateTest, ARequestExpiresAfter110SecondsAndItsTimerTouchesNoLaterOne) {
    random->uuids = {"AAAAAAAA-0000-4000-8000-000000000000", "AAAAAAAA-0000-4000-8000-000000000000",
                     "CCCCCCCC-0000-4000-8000-000000000000"};
    gate->request(permission(), reply("answered"));
    gate->decide("aaaaaaaa", "deny");
    queue.advance(50);
    gate->request(permission(), reply("later"));  // the same id again
    queue.advance(60.5);                          // the first request's 110 s are over
    EXPECT_EQ(got.size(), 1u);
    queue.advance(49.4);
    EXPECT_EQ(got.size(), 1u);
    queue.advance(0.1);
    EXPECT_EQ(got.back(), (Replies::value_type{"later", std::nullopt}));
    EXPECT_TRUE(gate->pending().empty());
}

TEST_F(ApprovalGateTest, DecisionsBecomeTheHookAnswer) {
    const json suggestion = {{"type", "addRules"},
                             {"rules", {{{"toolName", "Bash"}, {"ruleContent", "npm test"}}}},
                             {"behavior", "allow"},
                             {"destination", "localSettings"}};
    const std::string allow =
        R"({"hookSpecificOutput":{"decision":{"behavior":"allow"},"hookEventName":"PermissionRequest"}})";
    struct Row {
        std::string decision;
        bool withSuggestions;
        std::optional<std::string> expected;
    };
    const Row rows[] = {
        {"allow", true, allow},
        {"always", true,
         R"({"hookSpecificOutput":{"decision":{"behavior":"allow","updatedPermissions":[{"behavior":"allow","destination":"localSettings","rules":[{"ruleContent":"npm test","toolName":"Bash"}],"type":"addRules"}]},"hookEventName":"PermissionRequest"}})"},
        {"always", false, allow},
        {"deny", true,
         R"({"hookSpecificOutput":{"decision":{"behavior":"deny","message":"Denied from Brimwick on the user's phone."},"hookEventName":"PermissionRequest"}})"},
        {"terminal", true, std::nullopt},
        {"Allow", true, std::nullopt},
        {"", true, std::nullopt},
    };
    for (const auto& row : rows) {
        random->uuids = {"CAFEF00D-0000-4000-8000-000000000000"};
        got.clear();
        json fields = json::object();
        if (row.withSuggestions) fields["permission_suggestions"] = json::array({suggestion});
        gate->request(permission("s1", fields), reply("held"));
        EXPECT_EQ(gate->decide("cafef00d", row.decision), (Outcome{true, ""}));
        EXPECT_EQ(got, (Replies{{"held", row.expected}})) << row.decision;
    }
    EXPECT_EQ(ApprovalGate::answer("always", std::vector<json>{}), allow);
}

TEST_F(ApprovalGateTest, AnAnswerForARequestThatIsNotWaitingIsRefusedAndAGoneGateAnswersAll) {
    const Outcome notWaiting{false, "That request is no longer waiting."};
    gate->request(permission(), reply("held"));
    EXPECT_EQ(gate->decide("00000000", "allow"), notWaiting);
    EXPECT_TRUE(got.empty());
    gate->withdraw("3f2504e0");  // its hook went away
    gate->withdraw("3f2504e0");
    EXPECT_EQ(got, (Replies{{"held", std::nullopt}}));
    EXPECT_EQ(gate->decide("3f2504e0", "allow"), notWaiting);

    gate->request(permission(), reply("waiting"));
    gate.reset();
    EXPECT_EQ(got.back(), (Replies::value_type{"waiting", std::nullopt}));
    queue.advance(200);
    EXPECT_EQ(got.size(), 2u) << "no work is left behind";
}

}  // namespace
}  // namespace brimwick
