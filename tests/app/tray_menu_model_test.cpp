#include "app/tray_menu_model.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "app/app.h"
#include "support/app_test_environment.h"
#include "support/fake_process_probe.h"
#include "support/fake_random.h"
#include "support/manual_main_queue.h"
#include "support/memory_preferences.h"

namespace brimwick {
namespace {

namespace fs = std::filesystem;
using namespace menu_text;
using Kind = MenuEntry::Kind;

// One row as the tests read it: "title" plus flags, separators as "---".
struct Row {
    std::string text;
    bool enabled = false;
    bool checked = false;
    bool operator==(const Row&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Row& row) {
    return out << "{" << row.text << (row.enabled ? ", enabled" : "")
               << (row.checked ? ", checked" : "") << "}";
}

Row on(std::string text) {
    return {std::move(text), true, false};
}
Row off(std::string text) {
    return {std::move(text), false, false};
}
Row checked(std::string text) {
    return {std::move(text), true, true};
}
const Row kSeparator{"---", false, false};

std::vector<Row> rows(const std::vector<MenuEntry>& menu) {
    std::vector<Row> out;
    for (const auto& entry : menu) {
        if (entry.kind == Kind::separator) {
            out.push_back(kSeparator);
        } else if (entry.kind == Kind::footer) {
            out.push_back({"[footer]", entry.enabled, false});
        } else {
            out.push_back({entry.title, entry.enabled, entry.checked});
        }
    }
    return out;
}

// The rows between the n-th separator (from 0) and the next one.
std::vector<Row> block(const std::vector<MenuEntry>& menu, int n) {
    std::vector<Row> out;
    int seen = 0;
    for (const auto& row : rows(menu)) {
        if (row == kSeparator) {
            if (++seen > n) break;
            continue;
        }
        if (seen == n) out.push_back(row);
    }
    return out;
}

const MenuEntry* find(const std::vector<MenuEntry>& menu, const std::string& title) {
    for (const auto& entry : menu) {
        if (entry.title == title) return &entry;
    }
    return nullptr;
}

class TrayMenuModelTest : public ::testing::Test {
  protected:
    void SetUp() override {
        store = SessionStore::create(main, main, std::make_shared<testing::FakeProcessProbe>(),
                                     std::make_shared<testing::FakeRandom>());
    }

    void makeUsage(std::optional<UsageOutcome> outcome) {
        usage = UsageStore::create(
            main, main, preferences,
            [this, outcome](BackgroundTask&, std::function<void(UsageOutcome)> done) {
                if (outcome)
                    done(*outcome);
                else
                    pendingFetch = std::move(done);
            });
        main.runPending();
    }

    void makePhone() {
        PhoneLink::Services services;
        services.makeServer = [](auto, auto, auto, auto) { return nullptr; };
        services.localAddress = [] { return std::optional<std::string>("192.0.2.10"); };
        services.newCode = [] { return std::string("482913"); };
        services.launchSession = [](const std::string&, const std::string&) {
            return Result<void>();
        };
        services.isDirectory = [](const std::string&) { return false; };
        services.hostName = "Test Box";
        phone = PhoneLink::create(main, preferences, gate, services);
    }

    std::vector<MenuEntry> menu() {
        if (!usage) makeUsage(UsageError::of(UsageError::Kind::network));
        if (!phone) makePhone();
        TrayMenuInput input;
        input.serverStatus = "Listening on 127.0.0.1:47821";
        input.store = store.get();
        input.usage = usage.get();
        input.phone = phone.get();
        input.hooksInstalled = hooksInstalled;
        input.launchAtLogin = launchAtLogin;
        input.now = main.now();
        input.hostAppName = [this](std::optional<std::int32_t> pid) -> std::optional<std::string> {
            if (pid && hosts.count(*pid)) return hosts.at(*pid);
            return std::nullopt;
        };
        return buildStatusMenu(input);
    }

    void event(const std::string& name, const std::string& id, const std::string& cwd,
               std::optional<std::int32_t> pid) {
        HookEvent e;
        e.name = name;
        e.sessionId = id;
        e.cwd = cwd;
        e.hostPID = pid;
        store->handle(e);
    }

    testing::ManualMainQueue main;
    testing::MemoryPreferences preferences;
    std::shared_ptr<SessionStore> store;
    std::shared_ptr<UsageStore> usage;
    std::shared_ptr<ApprovalGate> gate =
        ApprovalGate::create(main, main, std::make_shared<testing::FakeRandom>());
    std::shared_ptr<PhoneLink> phone;
    std::function<void(UsageOutcome)> pendingFetch;
    std::map<std::int32_t, std::string> hosts;
    bool hooksInstalled = false;
    bool launchAtLogin = false;
};

TEST_F(TrayMenuModelTest, EmptyMenuFromTopToBottom) {
    makeUsage(std::nullopt);  // the first fetch has not answered yet
    EXPECT_EQ(rows(menu()), (std::vector<Row>{
                                off("Brimwick: Listening on 127.0.0.1:47821"),
                                kSeparator,
                                off("No active Claude Code sessions"),
                                kSeparator,
                                off("Loading usage\u2026"),
                                on("Refresh usage"),
                                checked("Show Claude usage in the island"),
                                kSeparator,
                                on("Connect phone over Wi\u2011Fi"),
                                kSeparator,
                                on("Connect to Claude Code (install hooks)"),
                                on("Demo"),
                                on("Open at login"),
                                kSeparator,
                                on("Quit Brimwick"),
                                kSeparator,
                                on("[footer]"),
                            }));
    const auto entries = menu();
    const MenuEntry* demo = find(entries, kDemo);
    ASSERT_TRUE(demo);
    EXPECT_EQ(demo->kind, Kind::submenu);
    EXPECT_EQ(rows(demo->entries),
              (std::vector<Row>{on("Add one demo session"), on("Add five demo sessions"),
                                on("Clear all faces")}));
    EXPECT_EQ(demo->entries[0].command, MenuCommand::demoOne);
    EXPECT_EQ(demo->entries[1].command, MenuCommand::demoFive);
    EXPECT_EQ(demo->entries[2].command, MenuCommand::clearAll);

    // Only Quit has a shortcut; the switches are checkable even while off.
    for (const auto& entry : entries) {
        EXPECT_EQ(entry.key, entry.title == kQuit ? "Ctrl+Q" : "") << entry.title;
        const bool isSwitch = entry.title == kShowUsage || entry.title == kConnectPhone ||
                              entry.title == kOpenAtLogin;
        EXPECT_EQ(entry.checkable, isSwitch) << entry.title;
        // Disabled rows are exactly those without a command.
        if (entry.kind == Kind::item) {
            EXPECT_EQ(entry.enabled, entry.command != MenuCommand::none) << entry.title;
        }
    }
    EXPECT_EQ(find(entries, kQuit)->command, MenuCommand::quit);
}

TEST_F(TrayMenuModelTest, SessionsAreRankedAndOnlyThoseWithAFoundHostCanBeChosen) {
    event("UserPromptSubmit", "a", "/src/weather", 100);
    event("UserPromptSubmit", "b", "/src/atlas", std::nullopt);
    event("PermissionRequest", "c", "/src/zebra", 300);
    event("UserPromptSubmit", "d", "/src/quiet", 400);  // a process without a desktop app
    hosts[100] = "XTerm";
    hosts[300] = "Konsole";

    const auto entries = menu();
    EXPECT_EQ(block(entries, 1), (std::vector<Row>{
                                     on("zebra: Needs your approval  \u00b7  Konsole"),
                                     on("weather: Thinking  \u00b7  XTerm"),
                                     off("atlas: Thinking"),
                                     off("quiet: Thinking"),
                                 }));
    const MenuEntry* zebra = find(entries, "zebra: Needs your approval  \u00b7  Konsole");
    ASSERT_TRUE(zebra);
    EXPECT_EQ(zebra->command, MenuCommand::focusSession);
    EXPECT_EQ(zebra->sessionId, "c");
    const MenuEntry* atlas = find(entries, "atlas: Thinking");
    ASSERT_TRUE(atlas);
    EXPECT_EQ(atlas->command, MenuCommand::none);
    EXPECT_EQ(atlas->sessionId, "");
}

TEST_F(TrayMenuModelTest, HostNamesAreNotAskedForSessionsWithoutAProcess) {
    event("UserPromptSubmit", "b", "/src/atlas", std::nullopt);
    int asked = 0;
    TrayMenuInput input;
    makeUsage(std::nullopt);
    makePhone();
    input.store = store.get();
    input.usage = usage.get();
    input.phone = phone.get();
    input.hostAppName = [&](std::optional<std::int32_t>) {
        ++asked;
        return std::optional<std::string>("Ghost");
    };
    EXPECT_EQ(block(buildStatusMenu(input), 1), (std::vector<Row>{off("atlas: Thinking")}));
    EXPECT_EQ(asked, 0);
    // No host lookup at all (no desktop): every session is listed, none can be chosen.
    event("UserPromptSubmit", "a", "/src/weather", 100);
    input.hostAppName = nullptr;
    EXPECT_EQ(block(buildStatusMenu(input), 1),
              (std::vector<Row>{off("atlas: Thinking"), off("weather: Thinking")}));
}

TEST_F(TrayMenuModelTest, UsageBlockFollowsTheStore) {
    // Switched off: no figures, no loading line, no refresh, no checkmark.
    preferences.setValue(UsageStore::preferenceKey, false);
    makeUsage(std::nullopt);
    EXPECT_EQ(block(menu(), 2), (std::vector<Row>{on("Show Claude usage in the island")}));

    // A problem without earlier figures replaces the loading line.
    preferences.setValue(UsageStore::preferenceKey, true);
    makeUsage(UsageError::of(UsageError::Kind::signedOut));
    const std::string signedOut = UsageError::of(UsageError::Kind::signedOut).text();
    EXPECT_EQ(block(menu(), 2), (std::vector<Row>{off(signedOut), on("Refresh usage"),
                                                  checked("Show Claude usage in the island")}));

    // Figures: session and week lines, percentages left rounded half away from zero.
    PlanUsage figures;
    figures.session = UsageLimit{0.005, main.now() + 3 * 3600 + 7 * 60};
    figures.week = UsageLimit{1.0, std::nullopt};
    makeUsage(figures);
    EXPECT_EQ(block(menu(), 2),
              (std::vector<Row>{off("Session: 100% left \u00b7 resets in 3h 7m"),
                                off("Week: 0% left \u00b7 resets \u2013"), on("Refresh usage"),
                                checked("Show Claude usage in the island")}));
}

TEST_F(TrayMenuModelTest, ProblemAfterFiguresKeepsTheFiguresAbove) {
    int fetch = 0;
    PlanUsage figures;
    figures.session = UsageLimit{0.424, main.now() + 45 * 60};
    usage = UsageStore::create(main, main, preferences,
                               [&](BackgroundTask&, std::function<void(UsageOutcome)> d) {
                                   if (fetch++ == 0)
                                       d(figures);
                                   else
                                       d(UsageError::of(UsageError::Kind::rateLimited));
                               });
    main.runPending();
    usage->refresh(true);
    main.runPending();
    ASSERT_EQ(fetch, 2);
    EXPECT_EQ(block(menu(), 2),
              (std::vector<Row>{off("Session: 58% left \u00b7 resets in 45m"),
                                off(UsageError::of(UsageError::Kind::rateLimited).text()),
                                on("Refresh usage"), checked("Show Claude usage in the island")}));
}

TEST_F(TrayMenuModelTest, PhoneBlockOffOnAndPaired) {
    makePhone();
    EXPECT_EQ(block(menu(), 3), (std::vector<Row>{on("Connect phone over Wi\u2011Fi")}));

    // On, nothing paired (this server could not start, so the status says why).
    phone->setEnabled(true);
    auto entries = menu();
    EXPECT_EQ(
        block(entries, 3),
        (std::vector<Row>{checked("Connect phone over Wi\u2011Fi"),
                          off("Phone: " + phone->status()), on("Pair a phone (show QR code)\u2026"),
                          checked("Approve from phone"), off("Pairing code: 482 913")}));
    EXPECT_EQ(find(entries, kApproveFromPhone)->tooltip,
              "While your phone is connected, permission requests wait up to 2 minutes for its "
              "answer before the normal prompt.");
    EXPECT_TRUE(find(entries, kApproveFromPhone)->checkable);

    // Two paired phones, listed in the link's order; approvals switched off.
    phone.reset();
    preferences.setValue(Pairing::kDevicesKey, {{"t1", "Pixel 9"}, {"t2", "Galaxy S24"}});
    preferences.setValue(PhoneLink::kApprovalsKey, false);
    makePhone();
    const std::string paired = "Paired: Galaxy S24, Pixel 9";
    EXPECT_EQ(block(menu(), 3),
              (std::vector<Row>{
                  checked("Connect phone over Wi\u2011Fi"), off("Phone: " + phone->status()),
                  on("Pair a phone (show QR code)\u2026"), on("Approve from phone"),
                  off("Pairing code: 482 913"), off(paired), on("Forget paired phones")}));
}

TEST_F(TrayMenuModelTest, HookCommandAndLoginItemFollowTheSystem) {
    hooksInstalled = true;
    launchAtLogin = true;
    const auto entries = menu();
    EXPECT_EQ(block(entries, 4), (std::vector<Row>{on("Remove Claude Code hooks"), on("Demo"),
                                                   checked("Open at login")}));
    EXPECT_EQ(find(entries, kRemoveHooks)->command, MenuCommand::uninstallHooks);
    EXPECT_EQ(find(entries, kOpenAtLogin)->command, MenuCommand::toggleLaunchAtLogin);
}

// Commands run on a whole launched app, as the menu runs them.

class MenuCommandTest : public ::testing::Test {
  protected:
    void SetUp() override {
        AppEnvironment env = testing::appTestEnvironment(main, preferences, home);
        env.usageFetch = [this](BackgroundTask&, std::function<void(UsageOutcome)> done) {
            ++fetches;
            done(UsageError::of(UsageError::Kind::network));
        };
        app = App::launch(env, face);
        main.runPending();
    }
    void TearDown() override { app.reset(); }
    void run(MenuCommand command, const std::string& id = {}) {
        performMenuCommand(*app, face, command, id);
        main.runPending();
    }

    testing::ScratchFolder scratch{"brimwick-menu"};
    const fs::path& home = scratch.path();
    testing::ManualMainQueue main;
    testing::MemoryPreferences preferences;
    testing::RecordingFace face;
    int fetches = 0;
    std::shared_ptr<App> app;
};

TEST_F(MenuCommandTest, PhoneSwitchOpensThePairingWindowOnlyWhenSwitchingOn) {
    run(MenuCommand::togglePhone);
    EXPECT_TRUE(app->phone().enabled());
    EXPECT_EQ(face.pairingWindows, 1);
    run(MenuCommand::togglePhone);
    EXPECT_FALSE(app->phone().enabled());
    EXPECT_EQ(face.pairingWindows, 1);
    run(MenuCommand::showPairing);
    EXPECT_EQ(face.pairingWindows, 2);

    run(MenuCommand::toggleApprovals);
    EXPECT_FALSE(app->phone().approveFromPhone());
    EXPECT_EQ(preferences.value(PhoneLink::kApprovalsKey), false);
}

TEST_F(MenuCommandTest, UsageAndDemoCommandsReachTheStores) {
    EXPECT_EQ(fetches, 1);
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
}

TEST_F(MenuCommandTest, ChoosingASessionThatEndedDoesNothingAndAMissingTerminalBeeps) {
    run(MenuCommand::focusSession, "gone");
    EXPECT_EQ(face.beeps, 0);
    HookEvent e;
    e.name = "UserPromptSubmit";
    e.sessionId = "s1";
    e.hostPID = 4242;
    app->store().handle(e);
    run(MenuCommand::focusSession, "s1");  // no focus service here: no terminal is found
    EXPECT_EQ(face.beeps, 1);
    // Quit and information rows are not the models' business.
    run(MenuCommand::quit);
    run(MenuCommand::none);
    EXPECT_EQ(face.beeps, 1);
    EXPECT_TRUE(face.alerts.empty());
}

TEST_F(MenuCommandTest, InstallingAndRemovingHooksFromTheMenu) {
    const int before = face.rebuilds;
    run(MenuCommand::installHooks);
    ASSERT_EQ(face.alerts.size(), 1u);
    EXPECT_EQ(face.alerts[0].first, "Connected to Claude Code");
    EXPECT_TRUE(app->hooksInstalled());
    EXPECT_EQ(find(buildStatusMenu(trayMenuInput(*app)), kRemoveHooks)->command,
              MenuCommand::uninstallHooks);
    run(MenuCommand::uninstallHooks);
    EXPECT_EQ(face.alerts.size(), 1u);  // nothing is shown on success
    EXPECT_FALSE(app->hooksInstalled());
    EXPECT_GE(face.rebuilds, before + 2);
}

TEST_F(MenuCommandTest, InputFromTheAppCarriesItsState) {
    const auto input = trayMenuInput(*app);
    EXPECT_EQ(input.serverStatus, app->serverStatus());
    EXPECT_EQ(input.store, &app->store());
    EXPECT_EQ(input.now, main.now());
    EXPECT_FALSE(input.hostAppName);  // no focus service in this environment
    EXPECT_FALSE(input.launchAtLogin);
}

}  // namespace
}  // namespace brimwick
