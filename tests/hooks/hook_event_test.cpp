#include "hooks/hook_event.h"

#include <gtest/gtest.h>

#include <string>

#include "core/text.h"
#include "support/recorded_session.h"

namespace brimwick {
namespace {

using nlohmann::json;

TEST(HookEventDecodeTest, NameAloneGivesDefaults) {
    const auto event = HookEvent::fromJson({{"hook_event_name", "Stop"}});
    ASSERT_TRUE(event);
    HookEvent expected;
    expected.name = "Stop";
    EXPECT_EQ(*event, expected);
    EXPECT_EQ(event->sessionId, "default");
}

TEST(HookEventDecodeTest, NeedsANameOrAState) {
    EXPECT_FALSE(HookEvent::fromJson(json::object()));
    EXPECT_FALSE(HookEvent::fromJson({{"session_id", "s"}, {"cwd", "/tmp"}}));
    EXPECT_FALSE(HookEvent::fromJson({{"hook_event_name", ""}, {"state", 3}}));
    EXPECT_FALSE(HookEvent::fromJson({{"hook_event_name", 7}, {"state", 3}}));
    EXPECT_FALSE(HookEvent::fromJson(json::array({{{"hook_event_name", "Stop"}}})));
    EXPECT_FALSE(HookEvent::fromJson(json("Stop")));
    EXPECT_FALSE(HookEvent::fromJson(json()));
}

TEST(HookEventDecodeTest, AStateTextIsKeptLowerCased) {
    const auto event = HookEvent::fromJson({{"state", "APPROVAL"}});
    ASSERT_TRUE(event);
    EXPECT_EQ(event->name, "");
    EXPECT_EQ(event->state, "approval");
    EXPECT_FALSE(HookEvent::fromJson({{"hook_event_name", "Stop"}, {"state", true}})->state);
}

TEST(HookEventDecodeTest, MistypedFieldsAreAbsent) {
    const auto event = HookEvent::fromJson({{"hook_event_name", "Notification"},
                                            {"session_id", 42},
                                            {"cwd", json::array()},
                                            {"tool_name", nullptr},
                                            {"message", 1.5},
                                            {"notification_type", false},
                                            {"source", json::object()},
                                            {"prompt", 3},
                                            {"tool_input", "ls"},
                                            {"permission_suggestions", "all"}});
    ASSERT_TRUE(event);
    EXPECT_EQ(event->sessionId, "default");
    EXPECT_FALSE(event->cwd);
    EXPECT_FALSE(event->toolName);
    EXPECT_FALSE(event->message);
    EXPECT_FALSE(event->notificationType);
    EXPECT_FALSE(event->source);
    EXPECT_FALSE(event->prompt);
    EXPECT_FALSE(event->toolDetail);
    EXPECT_FALSE(event->permissionSuggestions);
    EXPECT_FALSE(event->hostPID);
}

TEST(HookEventDecodeTest, ValuesAreCopiedAsTheyAre) {
    const auto event = HookEvent::fromJson({{"hook_event_name", "UserPromptSubmit"},
                                            {"session_id", "  S-1  "},
                                            {"cwd", "/home/dana/src/weather/"},
                                            {"prompt", "\n  fix it  \n"},
                                            {"X-Claude-PID", 123},
                                            {"hostPID", 123}});
    ASSERT_TRUE(event);
    EXPECT_EQ(event->sessionId, "  S-1  ");
    EXPECT_EQ(event->cwd, "/home/dana/src/weather/");
    EXPECT_EQ(event->prompt, "\n  fix it  \n");
    EXPECT_FALSE(event->hostPID) << "the process id never comes from the payload";
}

TEST(HookEventDecodeTest, OversizedIdsAndFoldersAreIgnoredAndTextsAreCut) {
    const auto decode = [](json fields) {
        fields["hook_event_name"] = "UserPromptSubmit";
        return HookEvent::fromJson(fields);
    };
    EXPECT_TRUE(decode({{"session_id", std::string(256, 's')}, {"cwd", std::string(4096, 'c')}}));
    EXPECT_FALSE(decode({{"session_id", std::string(257, 's')}}));
    EXPECT_FALSE(decode({{"cwd", std::string(4097, 'c')}}));
    const auto event = decode({{"prompt", std::string(20'000, 'p')},
                               {"tool_name", "Bash\u001b[2J\u202e"},
                               {"message", std::string(5'000, 'm')}});
    ASSERT_TRUE(event);
    EXPECT_EQ(event->prompt->size(), 16u * 1024);
    EXPECT_EQ(event->toolName, "Bash[2J");
    EXPECT_EQ(event->message->size(), 1024u);
}

std::optional<std::string> detailOf(const json& input) {
    return HookEvent::fromJson({{"hook_event_name", "PreToolUse"}, {"tool_input", input}})
        ->toolDetail;
}

TEST(HookEventDetailTest, KeyOrderDecidesNotMapOrder) {
    EXPECT_EQ(detailOf({{"file_path", "/a.txt"}, {"command", "ls"}}), "ls");
    EXPECT_EQ(detailOf({{"command", ""}, {"file_path", "/a.txt"}}), "/a.txt");
    EXPECT_EQ(detailOf({{"command", 5}, {"description", "d"}, {"url", "https://x.org"}}),
              "https://x.org");
    EXPECT_EQ(detailOf({{"notebook_path", "n.ipynb"}, {"pattern", "p"}}), "n.ipynb");
    EXPECT_EQ(detailOf({{"path", "p"}, {"query", "q"}, {"prompt", "r"}}), "p");
    EXPECT_EQ(detailOf({{"query", "q"}, {"prompt", "r"}, {"description", "d"}}), "q");
    EXPECT_EQ(detailOf({{"prompt", "r"}, {"description", "d"}}), "r");
    EXPECT_EQ(detailOf({{"description", "d"}}), "d");
}

TEST(HookEventDetailTest, FallsBackToAnyTextValue) {
    EXPECT_EQ(detailOf({{"zeta", "z"}, {"alpha", "a"}, {"count", 3}}), "a");
    EXPECT_EQ(detailOf({{"n", 1}, {"todos", json::array({"x"})}, {"other", ""}}), "")
        << "an empty text still counts";
    EXPECT_EQ(detailOf({{"command", ""}, {"x", 1}}), "");
    EXPECT_EQ(detailOf({{"n", 1}, {"b", true}}), std::nullopt);
    EXPECT_EQ(detailOf(json::object()), std::nullopt);
    EXPECT_EQ(detailOf(json::array({"ls"})), std::nullopt);
    EXPECT_EQ(HookEvent::fromJson({{"hook_event_name", "PreToolUse"}})->toolDetail, std::nullopt);
}

TEST(HookEventDetailTest, CutsAt400Characters) {
    EXPECT_EQ(detailOf({{"command", std::string(1000, 'c')}}), std::string(400, 'c'));
    EXPECT_EQ(detailOf({{"command", std::string(400, 'c')}}), std::string(400, 'c'));
    const std::string family = "\U0001F468\u200D\U0001F469\u200D\U0001F467\u200D\U0001F466";
    std::string long_;
    for (int i = 0; i < 500; ++i) long_ += family;
    const auto detail = detailOf({{"command", long_}});
    ASSERT_TRUE(detail);
    EXPECT_EQ(text::characterCount(*detail), 400u);
    EXPECT_EQ(detail->size(), 400 * family.size());
    EXPECT_EQ(detailOf({{"command", std::string(399, 'c') + "e\u0301" + "tail"}}),
              std::string(399, 'c') + "e\u0301");
}

TEST(HookEventSuggestionsTest, KeepsAllowDirectoriesAndAcceptEditsInOrder) {
    const json allowRule = {{"type", "addRules"},
                            {"rules", {{{"toolName", "Bash"}, {"ruleContent", "make *"}}}},
                            {"behavior", "allow"},
                            {"destination", "localSettings"}};
    const json denyRule = {{"type", "addRules"}, {"behavior", "deny"}};
    const json directories = {{"type", "addDirectories"},
                              {"behavior", "deny"},
                              {"directories", {"/home/dana/src/weather"}},
                              {"destination", "session"}};
    const json acceptEdits = {
        {"type", "setMode"}, {"mode", "acceptEdits"}, {"destination", "session"}};
    // No other mode, not even one that claims to allow.
    const json bypass = {{"type", "setMode"}, {"mode", "bypassPermissions"}, {"behavior", "allow"}};
    const json plan = {{"type", "setMode"}, {"mode", "plan"}};
    const auto event =
        HookEvent::fromJson({{"hook_event_name", "PermissionRequest"},
                             {"permission_suggestions",
                              {denyRule, directories, bypass, acceptEdits, plan, allowRule}}});
    ASSERT_TRUE(event && event->permissionSuggestions);
    EXPECT_EQ(*event->permissionSuggestions,
              (std::vector<json>{directories, acceptEdits, allowRule}));
}

TEST(HookEventSuggestionsTest, EmptyArrayIsPresentAndEmpty) {
    const auto event = HookEvent::fromJson(
        {{"hook_event_name", "PermissionRequest"}, {"permission_suggestions", json::array()}});
    ASSERT_TRUE(event && event->permissionSuggestions);
    EXPECT_TRUE(event->permissionSuggestions->empty());

    const auto allDropped = HookEvent::fromJson(
        {{"hook_event_name", "PermissionRequest"},
         {"permission_suggestions", {{{"type", "setMode"}, {"behavior", "ask"}}}}});
    ASSERT_TRUE(allDropped->permissionSuggestions);
    EXPECT_TRUE(allDropped->permissionSuggestions->empty());
}

TEST(HookEventSuggestionsTest, AnArrayOfNonObjectsIsAbsent) {
    const auto event = HookEvent::fromJson(
        {{"hook_event_name", "PermissionRequest"},
         {"permission_suggestions", json::array({json{{"behavior", "allow"}}, "allow"})}});
    ASSERT_TRUE(event);
    EXPECT_FALSE(event->permissionSuggestions);
}

TEST(HookEventFixtureTest, EveryRecordedPayloadDecodes) {
    const auto lines = testing::recordedPayloadsJson();
    ASSERT_EQ(lines.size(), 21u);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        SCOPED_TRACE("line " + std::to_string(i + 1));
        const auto event = HookEvent::fromJson(lines[i]);
        ASSERT_TRUE(event);
        EXPECT_EQ(event->name, lines[i]["hook_event_name"].get<std::string>());
        EXPECT_EQ(event->sessionId, lines[i]["session_id"].get<std::string>());
        EXPECT_EQ(event->cwd, lines[i]["cwd"].get<std::string>());
        EXPECT_FALSE(event->state);
        EXPECT_FALSE(event->hostPID);
    }
}

TEST(HookEventFixtureTest, RecordedSessionFields) {
    const auto lines = testing::recordedPayloadsJson();
    ASSERT_GE(lines.size(), 7u);
    const auto start = HookEvent::fromJson(lines[0]);
    EXPECT_EQ(start->name, "SessionStart");
    EXPECT_EQ(start->source, "startup");
    EXPECT_EQ(HookEvent::fromJson(lines[1])->prompt, "go");
    const auto pre = HookEvent::fromJson(lines[2]);
    EXPECT_EQ(pre->toolName, "Bash");
    EXPECT_EQ(pre->toolDetail, "echo hi > out.txt");
    const auto permission = HookEvent::fromJson(lines[3]);
    ASSERT_TRUE(permission->permissionSuggestions);
    ASSERT_EQ(permission->permissionSuggestions->size(), 1u);
    EXPECT_EQ((*permission->permissionSuggestions)[0], lines[3]["permission_suggestions"][0]);
    EXPECT_EQ(HookEvent::fromJson(lines[6])->name, "SessionEnd");

    for (const auto& line : lines) {
        const auto event = HookEvent::fromJson(line);
        if (event->name != "Notification") continue;
        EXPECT_TRUE(event->message);
        EXPECT_TRUE(event->notificationType);
    }
}

}  // namespace
}  // namespace brimwick
