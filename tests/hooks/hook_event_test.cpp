#include "hooks/hook_event.h"

#include <gtest/gtest.h>

#include "core/text.h"
#include "support/recorded_session.h"

namespace brimwick {
namespace {

using nlohmann::json;

std::optional<HookEvent> decode(json fields, const char* name = "UserPromptSubmit") {
    if (fields.is_object() && name) fields["hook_event_name"] = name;
    return HookEvent::fromJson(fields);
}

TEST(HookEventTest, NeedsANameOrAStateAndTakesOnlyWellTypedFields) {
    HookEvent stop;
    stop.name = "Stop";
    EXPECT_EQ(decode(json::object(), "Stop"), stop);
    EXPECT_EQ(stop.sessionId, "default");
    for (const json& bad :
         {json::object(), json{{"session_id", "s"}, {"cwd", "/tmp"}},
          json{{"hook_event_name", ""}, {"state", 3}}, json{{"hook_event_name", 7}, {"state", 3}},
          json::array({{{"hook_event_name", "Stop"}}}), json("Stop"), json()})
        EXPECT_FALSE(HookEvent::fromJson(bad)) << bad;
    const auto state = HookEvent::fromJson({{"state", "APPROVAL"}});
    ASSERT_TRUE(state);
    EXPECT_EQ(state->name, "");
    EXPECT_EQ(state->state, "approval");
    EXPECT_FALSE(decode({{"state", true}})->state);

    HookEvent mistyped = *decode({{"session_id", 42},
                                  {"cwd", json::array()},
                                  {"tool_name", nullptr},
                                  {"message", 1.5},
                                  {"notification_type", false},
                                  {"source", json::object()},
                                  {"prompt", 3},
                                  {"tool_input", "ls"},
                                  {"permission_suggestions", "all"}},
                                 "Notification");
    EXPECT_EQ(mistyped, *decode(json::object(), "Notification"));

    const auto copied = decode({{"session_id", "  S-1  "},
                                {"cwd", "/home/dana/src/weather/"},
                                {"prompt", "\n  fix it  \n"},
                                {"X-Claude-PID", 123},
                                {"hostPID", 123}});
    EXPECT_EQ(copied->sessionId, "  S-1  ");
    EXPECT_EQ(copied->cwd, "/home/dana/src/weather/");
    EXPECT_EQ(copied->prompt, "\n  fix it  \n");
    EXPECT_FALSE(copied->hostPID) << "the process id never comes from the payload";
}

TEST(HookEventTest, OversizedIdsAndFoldersAreRefusedAndTextsCut) {
    EXPECT_TRUE(decode({{"session_id", std::string(256, 's')}, {"cwd", std::string(4096, 'c')}}));
    EXPECT_FALSE(decode({{"session_id", std::string(257, 's')}}));
    EXPECT_FALSE(decode({{"cwd", std::string(4097, 'c')}}));
    const auto event = decode({{"prompt", std::string(20'000, 'p')},
                               {"tool_name", "Bash\u001b[2J\u202e"},
                               {"message", std::string(5'000, 'm')}});
    EXPECT_EQ(event->prompt->size(), 16u * 1024);
    EXPECT_EQ(event->toolName, "Bash[2J");
    EXPECT_EQ(event->message->size(), 1024u);
}

TEST(HookEventTest, ToolDetailIsTheFirstTextByKeyOrderCutAt400Characters) {
    const std::string family = "\U0001F468\u200D\U0001F469\u200D\U0001F467\u200D\U0001F466";
    std::string families;
    for (int i = 0; i < 500; ++i) families += family;
    const std::pair<json, std::optional<std::string>> rows[] = {
        {{{"file_path", "/a.txt"}, {"command", "ls"}}, "ls"},
        {{{"command", ""}, {"file_path", "/a.txt"}}, "/a.txt"},
        {{{"command", 5}, {"description", "d"}, {"url", "https://x.org"}}, "https://x.org"},
        {{{"notebook_path", "n.ipynb"}, {"pattern", "p"}}, "n.ipynb"},
        {{{"path", "p"}, {"query", "q"}, {"prompt", "r"}}, "p"},
        {{{"query", "q"}, {"prompt", "r"}, {"description", "d"}}, "q"},
        {{{"prompt", "r"}, {"description", "d"}}, "r"},
        {{{"description", "d"}}, "d"},
        // Else any text value, by key order; an empty text still counts.
        {{{"zeta", "z"}, {"alpha", "a"}, {"count", 3}}, "a"},
        {{{"n", 1}, {"todos", json::array({"x"})}, {"other", ""}}, ""},
        {{{"command", ""}, {"x", 1}}, ""},
        {{{"n", 1}, {"b", true}}, std::nullopt},
        {json::object(), std::nullopt},
        {json::array({"ls"}), std::nullopt},
        {{{"command", std::string(1000, 'c')}}, std::string(400, 'c')},
        {{{"command", std::string(400, 'c')}}, std::string(400, 'c')},
        {{{"command", std::string(399, 'c') + "e\u0301tail"}}, std::string(399, 'c') + "e\u0301"}};
    for (const auto& [input, detail] : rows)
        EXPECT_EQ(decode({{"tool_input", input}}, "PreToolUse")->toolDetail, detail) << input;
    EXPECT_EQ(decode(json::object(), "PreToolUse")->toolDetail, std::nullopt);
    const auto cut = decode({{"tool_input", {{"command", families}}}}, "PreToolUse")->toolDetail;
    EXPECT_EQ(cut->size(), 400 * family.size());
}

TEST(HookEventTest, SuggestionsKeepAllowDirectoriesAndAcceptEditsInOrder) {
    const json allowRule = {{"type", "addRules"},
                            {"rules", {{{"toolName", "Bash"}, {"ruleContent", "make *"}}}},
                            {"behavior", "allow"},
                            {"destination", "localSettings"}};
    const json directories = {{"type", "addDirectories"},
                              {"behavior", "deny"},
                              {"directories", {"/home/dana/src/weather"}},
                              {"destination", "session"}};
    const json acceptEdits = {
        {"type", "setMode"}, {"mode", "acceptEdits"}, {"destination", "session"}};
    // No other mode, not even one that claims to allow, and no rule that does not allow.
    const json dropped[] = {
        {{"type", "addRules"}, {"behavior", "deny"}},
        {{"type", "setMode"}, {"mode", "bypassPermissions"}, {"behavior", "allow"}},
        {{"type", "setMode"}, {"mode", "plan"}},
        {{"type", "setMode"}, {"behavior", "ask"}}};
    const auto suggestions = [](json list) {
        return decode({{"permission_suggestions", list}}, "PermissionRequest")
            ->permissionSuggestions;
    };
    EXPECT_EQ(
        suggestions({dropped[0], directories, dropped[1], acceptEdits, dropped[2], allowRule}),
        (std::vector<json>{directories, acceptEdits, allowRule}));
    EXPECT_EQ(suggestions(json::array()), std::vector<json>{});
    EXPECT_EQ(suggestions({dropped[3]}), std::vector<json>{});
    EXPECT_EQ(suggestions({allowRule, "allow"}), std::nullopt) << "an array of non-objects";
}

TEST(HookEventTest, EveryRecordedPayloadDecodes) {
    const auto lines = testing::recordedPayloads();
    ASSERT_EQ(lines.size(), 21u);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        SCOPED_TRACE("line " + std::to_string(i + 1));
        const json line = json::parse(lines[i]);
        const auto event = HookEvent::fromJson(line);
        ASSERT_TRUE(event);
        EXPECT_EQ(event->name, line["hook_event_name"]);
        EXPECT_EQ(event->sessionId, line["session_id"]);
        EXPECT_EQ(event->cwd, line["cwd"]);
        EXPECT_FALSE(event->state || event->hostPID);
        if (event->name == "Notification") {
            EXPECT_TRUE(event->message && event->notificationType);
        }
        if (i == 0) {
            EXPECT_EQ(event->source, "startup");
        }
        if (i == 1) {
            EXPECT_EQ(event->prompt, "go");
        }
        if (i == 2) {
            EXPECT_EQ(event->toolName, "Bash");
        }
        if (i == 2) {
            EXPECT_EQ(event->toolDetail, "echo hi > out.txt");
        }
        if (i == 3) {
            EXPECT_EQ(event->permissionSuggestions,
                      line["permission_suggestions"].get<std::vector<json>>());
        }
    }
}

}  // namespace
}  // namespace brimwick
