#include "notifications/desktop_notifier.h"

#include <gtest/gtest.h>

#include "app/tray_menu_model.h"
#include "support/app_test_environment.h"
#include "support/fake_process_probe.h"
#include "support/fake_random.h"
#include "support/manual_main_queue.h"
#include "support/memory_preferences.h"

namespace brimwick {
namespace {

using nlohmann::json;
using Log = std::vector<std::string>;
using Replies = std::vector<std::optional<std::string>>;

// Records what the notifier asks of the server, one line per call.
class FakeNotifications final : public DesktopNotifications {
  public:
    NotificationSupport support() const override { return supports; }
    void show(const std::string& key, const DesktopNotification& n) override {
        std::string line = "show " + key + " " + n.summary + " | " + n.body + " |";
        for (const auto& [action, label] : n.actions)
            line += " " + action.substr(0, action.find(':'));
        log.push_back(line);
    }
    void close(const std::string& key) override { log.push_back("close " + key); }

    NotificationSupport supports = NotificationSupport::actions;
    Log log;
};

struct Fixture {
    explicit Fixture(bool desktop, NotificationSupport supports = NotificationSupport::actions)
        : preferences({{DesktopNotifier::kApprovalsKey, desktop}}) {
        random->uuids = {"aaaaaaaa-1", "bbbbbbbb-2"};
        service.supports = supports;
        gate->addAnswerer([this] { return phoneWatches; });
        hook("UserPromptSubmit", {{"prompt", "Fix the tests"}});
    }

    static HookEvent event(const std::string& name, json fields) {
        fields.update({{"hook_event_name", name}, {"session_id", "s1"}, {"cwd", "/src/weather"}});
        return HookEvent::fromJson(fields).value();
    }
    void hook(const std::string& name, json fields = json::object()) {
        const auto e = event(name, fields);
        gate->sessionMoved(e);
        store->handle(e);
        queue.runPending();
    }
    void ask(json suggestions = nullptr) {
        json fields = {{"tool_name", "Bash"}, {"tool_input", {{"command", "npm test"}}}};
        if (!suggestions.is_null()) fields["permission_suggestions"] = suggestions;
        const auto e = event("PermissionRequest", fields);
        store->handle(e);
        gate->request(
            e, HookServer::Reply([this](std::optional<std::string> data, std::function<void()>) {
                replies.push_back(data);
            }));
        queue.runPending();
    }

    testing::ManualMainQueue queue;
    Replies replies;  // before the gate, which answers what it still holds when it goes
    FakeNotifications service;
    testing::MemoryPreferences preferences;
    bool phoneWatches = false;
    std::vector<std::string> focused;
    std::shared_ptr<testing::FakeRandom> random = std::make_shared<testing::FakeRandom>();
    std::shared_ptr<SessionStore> store =
        SessionStore::create(queue, queue, std::make_shared<testing::FakeProcessProbe>(), random);
    std::shared_ptr<ApprovalGate> gate = ApprovalGate::create(queue, queue, random);
    std::shared_ptr<DesktopNotifier> notifier =
        DesktopNotifier::create(queue, preferences, store, gate, &service,
                                [this](const std::string& id) { focused.push_back(id); });
};

const std::string kAsked = "show s1 weather: Needs your approval | Running npm test |";
const json kSuggestions = json::array({{{"type", "setMode"}, {"mode", "acceptEdits"}}});

TEST(DesktopNotifier, SessionsThatNeedTheUserAreNotifiedWhileTheyDo) {
    Fixture f(false);
    f.hook("PostToolUseFailure", {{"tool_name", "Bash"}});
    f.queue.advance(SessionStore::Timing::errorHold);  // the error settles
    f.hook("Stop");                                    // a finished turn is too common to tell
    f.hook("Notification", {{"notification_type", "idle_prompt"}, {"message", "Waiting"}});
    f.service.onAction("s1", "default");
    f.hook("UserPromptSubmit", {{"prompt", "Go on"}});
    f.notifier->setNotifyEnabled(false);
    f.ask();
    f.hook("SessionEnd");
    EXPECT_EQ(f.service.log,
              (Log{"show s1 weather: Hit an error | Fix the tests |", "close s1",
                   "show s1 weather: Waiting for you | Fix the tests |", "close s1"}));
    EXPECT_EQ(f.focused, (std::vector<std::string>{"s1"}));
}

// Steps, each a word: "ask" (a newer request), "click:<action>", "phone" (denies first),
// "dismiss", "expire", "moved" (PostToolUse), "ended", "lose buttons", "switch off".
void play(Fixture& f, const std::string& step) {
    if (step == "ask") f.ask();
    if (step.starts_with("click:")) f.service.onAction("s1", step.substr(6));
    if (step == "phone") {
        EXPECT_TRUE(f.gate->decide("aaaaaaaa", "deny").ok);
    }
    if (step == "dismiss") f.service.onDismissed("s1");
    if (step == "expire") f.queue.advance(ApprovalGate::kWait);
    if (step == "moved") f.hook("PostToolUse", {{"tool_name", "Bash"}});
    if (step == "ended") f.hook("SessionEnd");
    if (step == "lose buttons") {
        f.service.supports = NotificationSupport::plain;
        f.service.supportChanged.emit();
    }
    if (step == "switch off") f.notifier->setApproveFromDesktop(false);
    f.queue.runPending();
}

TEST(DesktopNotifier, TheFirstAnswerWinsAndWhatIsReleasedIsWithdrawn) {
    const auto allow = ApprovalGate::answer("allow", std::nullopt);
    const auto always = ApprovalGate::answer("always", kSuggestions.get<std::vector<json>>());
    const auto deny = ApprovalGate::answer("deny", std::nullopt);
    const std::optional<std::string> none;
    const auto A = NotificationSupport::actions;
    const std::string buttons = kAsked + " allow deny";
    struct Row {
        const char* name;
        bool desktop;
        NotificationSupport supports;
        json suggestions;
        std::vector<std::string> steps;
        Replies replies;
        Log log;
    };
    // clang-format off
    const std::vector<Row> rows = {
        {"allow", true, A, nullptr, {"click:allow:aaaaaaaa"}, {allow}, {buttons, "close s1"}},
        {"always allow", true, A, kSuggestions, {"click:always:aaaaaaaa"}, {always},
         {kAsked + " allow always deny", "close s1"}},
        {"the phone first", true, A, nullptr, {"phone", "click:allow:aaaaaaaa"}, {deny},
         {buttons, "close s1"}},
        {"answered in the terminal", true, A, nullptr, {"moved"}, {none}, {buttons, "close s1"}},
        {"the session ended", true, A, nullptr, {"ended"}, {none}, {buttons, "close s1"}},
        {"expired", true, A, nullptr, {"expire"}, {none}, {buttons, "close s1"}},
        {"replaced, old buttons dead", true, A, nullptr, {"ask", "click:allow:aaaaaaaa"}, {none},
         {buttons, buttons}},
        {"dismissed is no answer", true, A, nullptr, {"dismiss", "moved"}, {none}, {buttons}},
        {"the server loses its buttons", true, A, nullptr, {"lose buttons"}, {none},
         {buttons, "close s1"}},
        {"switched off while held", true, A, nullptr, {"switch off"}, {none}, {buttons, "close s1"}},
        {"desktop approvals off", false, A, nullptr, {}, {none}, {kAsked}},
        {"no buttons", true, NotificationSupport::plain, nullptr, {}, {none}, {kAsked}},
        {"do not disturb", true, NotificationSupport::paused, nullptr, {}, {none}, {kAsked}},
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Fixture f(row.desktop, row.supports);
        f.ask(row.suggestions);
        for (const auto& step : row.steps) play(f, step);
        EXPECT_EQ(f.replies, row.replies);
        EXPECT_EQ(f.service.log, row.log);
    }
}

// The menu's switches are stored, and a line under them says why approvals cannot be given.
TEST(DesktopNotifier, MenuSwitchesAndWhyApprovalsWait) {
    testing::ScratchFolder home("brimwick-notify");
    testing::ManualMainQueue main;
    testing::MemoryPreferences preferences;
    testing::RecordingFace face;
    FakeNotifications service;
    service.supports = NotificationSupport::paused;
    AppEnvironment env = testing::appTestEnvironment(main, preferences, home.path());
    env.notifications = &service;
    auto app = App::launch(env, face);
    performMenuCommand(*app, face, MenuCommand::toggleDesktopApprovals);
    performMenuCommand(*app, face, MenuCommand::toggleNotify);
    const auto menu = buildStatusMenu(trayMenuInput(*app));
    const auto at = std::find_if(menu.begin(), menu.end(), [](const MenuEntry& entry) {
        return entry.title == menu_text::kNotify;
    });
    ASSERT_GE(menu.end() - at, 3);
    EXPECT_FALSE(at[0].checked);
    EXPECT_EQ(at[1].title, menu_text::kApproveFromDesktop);
    EXPECT_TRUE(at[1].checked);
    EXPECT_EQ(at[2].title, "Notifications are paused (Do Not Disturb)");
    EXPECT_FALSE(at[2].enabled);
    EXPECT_EQ(preferences.value(DesktopNotifier::kApprovalsKey), json(true));
    EXPECT_EQ(preferences.value(DesktopNotifier::kNotifyKey), json(false));
}

}  // namespace
}  // namespace brimwick
