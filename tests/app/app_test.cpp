#include "app/app.h"

#include <gtest/gtest.h>

#include "app/tray_menu_model.h"
#include "core/atomic_file.h"
#include "hooks/hook_installer.h"
#include "support/app_test_environment.h"
#include "support/eventually.h"
#include "support/loopback_phone_server.h"
#include "support/memory_preferences.h"
#include "support/raw_client.h"

namespace brimwick {
namespace {

namespace fs = std::filesystem;
using testing::RawClient;

const std::string k204 =
    "HTTP/1.1 204 No Content\r\nConnection: close\r\nContent-Type: text/plain\r\n\r\n";

nlohmann::json event(const std::string& name, const std::string& session = "s1") {
    return {{"hook_event_name", name}, {"session_id", session}, {"cwd", "/src/weather"}};
}

class FakeLoginItem final : public LoginItem {
  public:
    bool enabled() const override { return on; }
    Result<void> setEnabled(bool value) override {
        if (fail) return Error{"loginItem", "Permission denied"};
        on = value;
        return {};
    }
    std::string folder() const override { return "/srv/config/autostart"; }
    bool on = false, fail = false;
};

class AppTest : public ::testing::Test {
  protected:
    void TearDown() override { app.reset(); }

    void launch() {
        AppEnvironment env = testing::appTestEnvironment(main, preferences, home);
        env.usageFetch = [this](BackgroundTask&, std::function<void(UsageOutcome)> done) {
            ++fetches;
            done(UsageError::of(UsageError::Kind::signedOut));
        };
        env.phone.makeServer = [this](std::string host, std::set<std::string> tokens,
                                      std::string code, PhoneServer::Callbacks callbacks) {
            return testing::makeLoopbackPhoneServer(main, std::move(host), std::move(tokens),
                                                    std::move(code), std::move(callbacks), 0, 0.2);
        };
        env.hookServer.port = hookPort;
        env.loginItem = &loginItem;
        app = App::launch(env, face);
        main.runPending();
    }

    // Posts a hook payload the way curl does and gives the raw answer; runs the main queue
    // until the server's answer arrives.
    std::string post(const std::string& path, const nlohmann::json& payload, int pid = 4242) {
        RawClient client(app->server()->port());
        client.send(testing::postRequest(
            path, payload.dump(),
            "Content-Type: application/json\r\nX-Claude-PID: " + std::to_string(pid) + "\r\n"));
        std::string answer;
        main.runUntil([&] {
            answer += client.readAll(0.01);
            return client.closed();
        });
        main.runPending();
        return answer;
    }
    // A hook request whose sender gives up (curl's time limit) as soon as it is sent.
    void abandon(const std::string& path, const nlohmann::json& payload) {
        RawClient(app->server()->port()).send(testing::postRequest(path, payload.dump()));
    }
    std::optional<BotState> stateOf(const std::string& id) {
        const auto session = app->store().session(id);
        return session ? std::optional(session->state) : std::nullopt;
    }
    void pairPhone() {
        preferences.setValue(PhoneLink::kEnabledKey, true);
        preferences.setValue(Pairing::kDevicesKey, {{"tok", "Pixel"}});
    }

    testing::ScratchFolder scratch{"brimwick-app"};
    const fs::path& home = scratch.path();
    std::uint16_t hookPort = 0;
    testing::ManualMainQueue main;
    testing::MemoryPreferences preferences;
    testing::RecordingFace face;
    FakeLoginItem loginItem;
    int fetches = 0;
    std::shared_ptr<App> app;
};

TEST_F(AppTest, StopWithNothingQueuedFinishesTheSessionAndRefreshesUsageGently) {
    launch();
    EXPECT_EQ(fetches, 1);                                     // at start
    EXPECT_FALSE(fs::exists(home / ".claude/settings.json"));  // hooks not installed are left alone
    post("/hook", event("UserPromptSubmit"));
    main.advance(10);
    EXPECT_EQ(post("/stop", event("Stop")), k204);
    EXPECT_EQ(stateOf("s1"), BotState::finished);
    EXPECT_EQ(fetches, 1);  // within 60 s of the last attempt
    post("/hook", event("UserPromptSubmit"));
    main.advance(60);
    post("/stop", event("Stop"));
    EXPECT_EQ(fetches, 2);
}

TEST_F(AppTest, StopHandsQueuedPromptsOverAsTheNextPromptWithTheStopsCwd) {
    launch();
    post("/hook", event("UserPromptSubmit"), 777);
    EXPECT_TRUE(app->phone().prompts().queue("first", app->store().session("s1")).ok);
    EXPECT_TRUE(app->phone().prompts().queue("second\nline", app->store().session("s1")).ok);
    const auto answer = post("/stop", event("Stop"), 777);
    const std::string body = answer.substr(answer.find("\r\n\r\n") + 4);
    EXPECT_EQ(body,
              nlohmann::json({{"decision", "block"},
                              {"reason",
                               "The user sent this message from their phone (through Brimwick). "
                               "Treat it as their next prompt:\n\nfirst\n\nsecond\nline"}})
                  .dump());  // compact
    // The store saw a new prompt, never the stop.
    const auto session = app->store().session("s1");
    EXPECT_EQ(session->state, BotState::thinking);
    EXPECT_EQ(session->task, "first");
    EXPECT_EQ(session->hostPID, 777);
    EXPECT_TRUE(app->phone().prompts().queued().empty());
    main.advance(5);
    EXPECT_TRUE(app->store().session("s1"));

    // Without a cwd the project stays the default one; with the stop's cwd it changes.
    post("/hook", {{"hook_event_name", "UserPromptSubmit"}, {"session_id", "s2"}});
    app->phone().prompts().queue("go on", app->store().session("s2"));
    post("/stop", {{"hook_event_name", "Stop"}, {"session_id", "s2"}});
    EXPECT_EQ(app->store().session("s2")->project, "Claude");
    app->phone().prompts().queue("more", app->store().session("s2"));
    post("/stop", {{"hook_event_name", "Stop"}, {"session_id", "s2"}, {"cwd", "/src/atlas"}});
    EXPECT_EQ(app->store().session("s2")->project, "atlas");
}

TEST_F(AppTest, PromptsForAStopWhoseHookGaveUpWaitForTheNextStop) {
    launch();
    post("/hook", event("UserPromptSubmit"));
    EXPECT_TRUE(app->phone().prompts().queue("first", app->store().session("s1")).ok);
    EXPECT_TRUE(app->phone().prompts().queue("second", app->store().session("s1")).ok);
    abandon("/stop", event("Stop"));
    // Claude Code stopped without the prompts: the island says so and they wait, together.
    ASSERT_TRUE(main.runUntil([&] {
        return app->phone().prompts().queued().count("s1") && stateOf("s1") == BotState::finished;
    }));
    EXPECT_EQ(app->phone().prompts().queued().at("s1"),
              (std::vector<std::string>{"first\n\nsecond"}));
    EXPECT_NE(post("/stop", event("Stop")).find("prompt:\\n\\nfirst\\n\\nsecond\""),
              std::string::npos);
    EXPECT_TRUE(app->phone().prompts().queued().empty());

    // SessionEnd drops what is queued and ends the session; its folder is remembered.
    app->phone().prompts().queue("later", app->store().session("s1"));
    post("/hook", event("SessionEnd"));
    EXPECT_TRUE(app->phone().prompts().queued().empty());
    EXPECT_FALSE(app->store().session("s1"));
    EXPECT_EQ(app->phone().projects().list(), std::vector<std::string>{"/src/weather"});
}

TEST_F(AppTest, PermissionWithoutAWatchingPhoneIsAnsweredEmptyAfterTheStoreSawIt) {
    launch();
    auto request = event("PermissionRequest");
    request["tool_name"] = "Bash";
    request["tool_input"] = {{"command", "make"}};
    EXPECT_EQ(post("/permission", request), k204);
    EXPECT_EQ(stateOf("s1"), BotState::approval);
    EXPECT_EQ(app->store().session("s1")->activity, "Running make");
    EXPECT_TRUE(app->gate().pending().empty());
}

TEST_F(AppTest, AHeldPermissionWhoseHookLeavesIsReleasedAndTheTurnEnds) {
    pairPhone();
    launch();
    RawClient phone(app->phone().server()->port());
    phone.send("GET /status HTTP/1.1\r\nAuthorization: Bearer tok\r\n\r\n");
    ASSERT_NE(phone.readAll(), "");  // from now on the phone is watching
    {
        // The user answers "No" in the terminal: Claude Code cancels the hook, says no more.
        RawClient hook(app->server()->port());
        hook.send(testing::postRequest("/permission", event("PermissionRequest").dump()));
        ASSERT_TRUE(main.runUntil([&] { return !app->gate().pending().empty(); }));
        EXPECT_EQ(stateOf("s1"), BotState::approval);
    }
    EXPECT_TRUE(main.runUntil([&] { return app->gate().pending().empty(); }));
    EXPECT_EQ(stateOf("s1"), BotState::idle);

    abandon("/permission", event("PermissionRequest", "s2"));  // gone before the link holds it
    ASSERT_TRUE(testing::eventually([&] { return app->server()->openConnections() == 0; }));
    EXPECT_TRUE(main.runUntil([&] { return stateOf("s2") == BotState::idle; }));
    EXPECT_TRUE(app->gate().pending().empty());

    std::size_t tasks = 0;
    {
        // The phone's answer crosses the leaving: it reaches nobody, the turn is over all the same.
        RawClient hook(app->server()->port());
        hook.send(testing::postRequest("/permission", event("PermissionRequest", "s3").dump()));
        ASSERT_TRUE(main.runUntil([&] { return !app->gate().pending().empty(); }));
        tasks = main.pendingCount();
    }
    ASSERT_TRUE(testing::eventually([&] { return main.pendingCount() > tasks; }));
    EXPECT_TRUE(app->gate().decide(app->gate().pending().begin()->first, "allow").ok);
    main.runPending();
    EXPECT_EQ(stateOf("s3"), BotState::idle);
}

TEST_F(AppTest, OutdatedHooksAreRefreshedSilentlyAtLaunch) {
    nlohmann::json settings = {{"model", "opus"}};
    settings["hooks"]["Stop"] = nlohmann::json::array(
        {{{"hooks", {{{"type", "command"}, {"command", "curl http://127.0.0.1:47821/hook"}}}}}});
    fs::create_directories(home / ".claude");
    ASSERT_TRUE(
        writeFileAtomically((home / ".claude/settings.json").string(), settings.dump()).ok());
    ASSERT_TRUE(hook_installer::isOutdated(home.string()));
    launch();
    EXPECT_TRUE(hook_installer::isInstalled(home.string()));
    EXPECT_FALSE(hook_installer::isOutdated(home.string()));
    EXPECT_TRUE(face.alerts.empty());
    EXPECT_EQ(hook_installer::load(home.string())->at("model"), "opus");
}

TEST_F(AppTest, TakenHookPortIsReportedAndTheRestRuns) {
    HttpServer other(HttpServerOptions{}, [](HttpRequest, std::shared_ptr<HttpResponder>) {});
    ASSERT_TRUE(other.start().ok());
    hookPort = other.port();
    launch();
    EXPECT_EQ(app->serverStatus(), "Couldn't open port 47821: Address already in use");
    EXPECT_GT(face.rebuilds, 0);
    app->store().spawnDemo(1);
    main.advance(1);
    EXPECT_EQ(app->store().sessions().size(), 1u);
    EXPECT_EQ(face.icons.back(), BotState::greeting);
}

TEST_F(AppTest, ABurstOfChangesIsShownOnceAndUnseenChangesNotAtAll) {
    pairPhone();
    launch();
    // Let both servers' own status changes (and their rebuilds and snapshot) settle first.
    main.runUntil([&] {
        return app->phone().status().rfind("Listening", 0) == 0 &&
               app->serverStatus().rfind("Listening", 0) == 0;
    });
    main.runPending();
    EXPECT_EQ(app->serverStatus(),
              "Listening on 127.0.0.1:" + std::to_string(app->server()->port()));
    const auto status = [&] {
        RawClient client(app->phone().server()->port());
        client.send("GET /status HTTP/1.1\r\nAuthorization: Bearer tok\r\n\r\n");
        const auto answer = client.readAll();
        return nlohmann::json::parse(answer.substr(answer.find("\r\n\r\n") + 4));
    };
    const auto before = status()["version"].get<int>();
    const auto icons = face.icons.size();
    const auto rebuilds = face.rebuilds;

    app->store().handle(*HookEvent::fromJson(event("UserPromptSubmit")));
    app->store().handle(*HookEvent::fromJson(event("PreToolUse")));
    main.runPending();
    // Two changes in one turn: one icon update, one rebuild and one snapshot, made after both.
    ASSERT_EQ(face.icons.size(), icons + 1);
    EXPECT_EQ(face.icons.back(), BotState::working);
    EXPECT_EQ(face.rebuilds, rebuilds + 1);
    const auto after = status();
    EXPECT_EQ(after["version"].get<int>(), before + 1);
    EXPECT_EQ(after["sessions"][0]["state"], "working");

    // A new process id changes the session but nothing a phone shows: no new snapshot.
    auto samePrompt = *HookEvent::fromJson(event("PreToolUse"));
    samePrompt.hostPID = 777;
    app->store().handle(samePrompt);
    main.runPending();
    EXPECT_EQ(status()["version"].get<int>(), before + 1);
    app->store().clearAll();
    main.runPending();
    EXPECT_EQ(face.icons.back(), std::nullopt);
}

TEST_F(AppTest, PhonePromptsAndQueuedHookTasksDoNotOutliveTheApp) {
    launch();
    auto onPrompt = app->phone().onPrompt;
    EXPECT_EQ(onPrompt("nobody", "hi").message, "That session has ended. Start a new one instead.");
    post("/hook", event("UserPromptSubmit"));
    EXPECT_TRUE(onPrompt("s1", "hi").ok);

    const std::weak_ptr<SessionStore> store = app->store().weak_from_this();
    const std::weak_ptr<UsageStore> usage = app->usage().weak_from_this();
    const std::weak_ptr<PhoneLink> phone = app->phone().weak_from_this();
    const auto queued = main.pendingCount();
    abandon("/stop", event("Stop"));
    ASSERT_TRUE(testing::eventually([&] { return main.pendingCount() > queued; }));
    // A queued task must not keep a model (and the threads it owns) past the app.
    app.reset();
    EXPECT_TRUE(store.expired());
    EXPECT_TRUE(usage.expired());
    EXPECT_TRUE(phone.expired());
    EXPECT_EQ(onPrompt("s1", "hi").message, "Brimwick isn't ready");
    EXPECT_FALSE(onPrompt("s1", "hi").ok);
}

// The menu's commands as the face runs them, and what the app does for each.
TEST_F(AppTest, MenuCommandsReachTheModels) {
    launch();
    const auto run = [&](MenuCommand command, const std::string& id = {}) {
        performMenuCommand(*app, face, command, id);
        main.runPending();
    };
    run(MenuCommand::togglePhone);
    EXPECT_TRUE(app->phone().enabled());
    EXPECT_EQ(face.pairingWindows, 1);
    run(MenuCommand::togglePhone);  // switching off opens nothing
    EXPECT_FALSE(app->phone().enabled());
    EXPECT_EQ(face.pairingWindows, 1);
    run(MenuCommand::showPairing);
    EXPECT_EQ(face.pairingWindows, 2);
    run(MenuCommand::toggleApprovals);
    EXPECT_FALSE(app->phone().approveFromPhone());
    EXPECT_EQ(preferences.value(PhoneLink::kApprovalsKey), false);

    run(MenuCommand::refreshUsage);  // forced: not held back by the 60 s spacing
    EXPECT_EQ(fetches, 2);
    run(MenuCommand::toggleUsage);
    EXPECT_FALSE(app->usage().enabled());
    EXPECT_EQ(preferences.value(UsageStore::preferenceKey), false);

    run(MenuCommand::demoOne);
    main.advance(1);
    EXPECT_EQ(app->store().sessions().size(), 1u);
    run(MenuCommand::demoFive);
    main.advance(3);
    EXPECT_EQ(app->store().sessions().size(), 6u);
    run(MenuCommand::clearAll);
    EXPECT_TRUE(app->store().sessions().empty());

    run(MenuCommand::focusSession, "gone");  // a session that ended: nothing happens
    EXPECT_EQ(face.beeps, 0);
    post("/hook", event("UserPromptSubmit"));
    run(MenuCommand::focusSession, "s1");  // no focus service here: no terminal is found
    EXPECT_EQ(face.beeps, 1);
    run(MenuCommand::quit);  // the face's business
    run(MenuCommand::none);
    EXPECT_EQ(face.beeps, 1);
    EXPECT_TRUE(face.alerts.empty());

    const int rebuilds = face.rebuilds;
    run(MenuCommand::toggleLaunchAtLogin);
    EXPECT_TRUE(app->launchAtLogin());
    EXPECT_TRUE(face.alerts.empty());
    loginItem.fail = true;
    run(MenuCommand::toggleLaunchAtLogin);
    EXPECT_TRUE(app->launchAtLogin());
    EXPECT_EQ(face.rebuilds, rebuilds + 2);
    ASSERT_EQ(face.alerts.size(), 1u);
    EXPECT_EQ(
        face.alerts[0],
        (std::pair<std::string, std::string>{
            "Couldn't change login item",
            "Permission denied\n\nMake sure /srv/config/autostart is writable, then try again."}));

    run(MenuCommand::installHooks);
    ASSERT_EQ(face.alerts.size(), 2u);
    // There was no settings file, so there is no backup to speak of.
    EXPECT_EQ(face.alerts[1],
              (std::pair<std::string, std::string>{
                  "Connected to Claude Code",
                  "Hooks were added to " + (home / ".claude/settings.json").string() +
                      ". Running and new Claude Code sessions will now appear in the island "
                      "at the top of the screen."}));
    EXPECT_TRUE(app->hooksInstalled());
    const auto menu = buildStatusMenu(trayMenuInput(*app));  // the menu learns of it
    EXPECT_TRUE(
        std::ranges::any_of(menu, [](auto& e) { return e.title == menu_text::kRemoveHooks; }));
    run(MenuCommand::uninstallHooks);
    EXPECT_EQ(face.alerts.size(), 2u);  // nothing is shown on success
    EXPECT_FALSE(app->hooksInstalled());
    ASSERT_TRUE(writeFileAtomically((home / ".claude/settings.json").string(), "{oops").ok());
    run(MenuCommand::installHooks);
    run(MenuCommand::uninstallHooks);
    ASSERT_EQ(face.alerts.size(), 4u);
    EXPECT_EQ(face.alerts[2].first, "Couldn't install hooks");
    EXPECT_EQ(face.alerts[3].first, "Couldn't remove hooks");
}

}  // namespace
}  // namespace brimwick
