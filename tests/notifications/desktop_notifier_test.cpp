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
    void click(const std::string& action) {
        service.onAction("s1", action);
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
    EXPECT_EQ(f.preferences.value(DesktopNotifier::kNotifyKey), json(false));
}

TEST(DesktopNotifier, TheFirstAnswerWinsAndWhatIsReleasedIsWithdrawn) {
    const auto allow = ApprovalGate::answer("allow", std::nullopt);
    const auto always = ApprovalGate::answer("always", kSuggestions.get<std::vector<json>>());
    const auto deny = ApprovalGate::answer("deny", std::nullopt);
    struct Row {
        const char* name;
        bool desktop;
        NotificationSupport supports;
        json suggestions;
        std::function<void(Fixture&)> then;
        Replies replies;
        Log log;
    };
    const auto A = NotificationSupport::actions;
    const std::vector<Row> rows = {
        {"allow on the desktop",
         true,
         A,
         nullptr,
         [](Fixture& f) { f.click("allow:aaaaaaaa"); },
         {allow},
         {kAsked + " allow deny", "close s1"}},
        {"always carries the suggestions",
         true,
         A,
         kSuggestions,
         [](Fixture& f) { f.click("always:aaaaaaaa"); },
         {always},
         {kAsked + " allow always deny", "close s1"}},
        {"deny on the desktop",
         true,
         A,
         nullptr,
         [](Fixture& f) { f.click("deny:aaaaaaaa"); },
         {deny},
         {kAsked + " allow deny", "close s1"}},
        {"the phone first; a late click changes nothing",
         true,
         A,
         nullptr,
         [](Fixture& f) {
             f.phoneWatches = true;
             EXPECT_TRUE(f.gate->decide("aaaaaaaa", "deny").ok);
             f.queue.runPending();
             f.click("allow:aaaaaaaa");
         },
         {deny},
         {kAsked + " allow deny", "close s1"}},
        {"answered in the terminal: the next event",
         true,
         A,
         nullptr,
         [](Fixture& f) {
             f.hook("PostToolUse", {{"tool_name", "Bash"}});
         },
         {std::nullopt},
         {kAsked + " allow deny", "close s1"}},
        {"expired",
         true,
         A,
         nullptr,
         [](Fixture& f) { f.queue.advance(ApprovalGate::kWait); },
         {std::nullopt},
         {kAsked + " allow deny", "close s1"}},
        {"a newer request replaces it, and the old buttons with it",
         true,
         A,
         nullptr,
         [](Fixture& f) {
             f.ask();
             f.click("allow:aaaaaaaa");
         },
         {std::nullopt},
         {kAsked + " allow deny", kAsked + " allow deny"}},
        {"dismissed is no answer",
         true,
         A,
         nullptr,
         [](Fixture& f) {
             f.service.onDismissed("s1");
             f.queue.advance(ApprovalGate::kWait - 1);
             EXPECT_EQ(f.gate->pending().size(), 1u);
             f.hook("PostToolUse");
         },
         {std::nullopt},
         {kAsked + " allow deny"}},
        {"the server loses its buttons",
         true,
         A,
         nullptr,
         [](Fixture& f) {
             f.service.supports = NotificationSupport::plain;
             f.service.supportChanged.emit();
             f.queue.runPending();
         },
         {std::nullopt},
         {kAsked + " allow deny", "close s1"}},
        {"switched off while held",
         true,
         A,
         nullptr,
         [](Fixture& f) {
             f.notifier->setApproveFromDesktop(false);
             f.queue.runPending();
         },
         {std::nullopt},
         {kAsked + " allow deny", "close s1"}},
        {"desktop approvals off", false, A, nullptr, nullptr, {std::nullopt}, {kAsked}},
        {"a server without buttons",
         true,
         NotificationSupport::plain,
         nullptr,
         nullptr,
         {std::nullopt},
         {kAsked}},
        {"do not disturb",
         true,
         NotificationSupport::paused,
         nullptr,
         nullptr,
         {std::nullopt},
         {kAsked}},
        {"no server", true, NotificationSupport::none, nullptr, nullptr, {std::nullopt}, {kAsked}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Fixture f(row.desktop, row.supports);
        f.ask(row.suggestions);
        if (row.then) row.then(f);
        EXPECT_EQ(f.replies, row.replies);
        EXPECT_EQ(f.service.log, row.log);
    }
}

// The switches under the menu's notification rows, and the one line saying why approvals from the
// desktop cannot be given.
TEST(DesktopNotifier, MenuSwitchesAreStoredAndSayWhyApprovalsWait) {
    const std::vector<std::pair<NotificationSupport, Log>> rows = {
        {NotificationSupport::actions, {}},
        {NotificationSupport::plain, {"The notification server shows no buttons"}},
        {NotificationSupport::paused, {"Notifications are paused (Do Not Disturb)"}},
        {NotificationSupport::none, {"No notification server is running"}},
    };
    for (const auto& [supports, why] : rows) {
        testing::ScratchFolder home("brimwick-notify");
        testing::ManualMainQueue main;
        testing::MemoryPreferences preferences;
        testing::RecordingFace face;
        FakeNotifications service;
        service.supports = supports;
        AppEnvironment env = testing::appTestEnvironment(main, preferences, home.path());
        env.notifications = &service;
        auto app = App::launch(env, face);
        performMenuCommand(*app, face, MenuCommand::toggleDesktopApprovals);
        performMenuCommand(*app, face, MenuCommand::toggleNotify);
        const auto menu = buildStatusMenu(trayMenuInput(*app));
        const auto at = std::find_if(menu.begin(), menu.end(), [](const MenuEntry& entry) {
            return entry.title == menu_text::kApproveFromDesktop;
        });
        ASSERT_TRUE(at != menu.end() && at != menu.begin());
        EXPECT_TRUE(at->checked);
        EXPECT_EQ(std::prev(at)->title, menu_text::kNotify);
        EXPECT_FALSE(std::prev(at)->checked);
        Log rows;
        if (std::next(at)->kind == MenuEntry::Kind::item) rows.push_back(std::next(at)->title);
        EXPECT_EQ(rows, why);
        EXPECT_EQ(preferences.value(DesktopNotifier::kApprovalsKey), json(true));
        EXPECT_EQ(app->gate()
                      .request(Fixture::event("PermissionRequest", json::object()),
                               HookServer::Reply([](auto, auto) {}))
                      .has_value(),
                  why.empty());
        app.reset();
    }
}

}  // namespace
}  // namespace brimwick
