#include "app/tray_menu_model.h"

#include <gtest/gtest.h>

#include "support/app_test_environment.h"
#include "support/fake_process_probe.h"
#include "support/fake_random.h"
#include "support/memory_preferences.h"

namespace brimwick {
namespace {

using namespace menu_text;

// A row as the tests read it: its title, "(off)" when disabled, "[x]" when checked, "[ ]" when
// a switch is off; separators as "---", the footer as "[footer]".
std::vector<std::string> rows(const std::vector<MenuEntry>& menu, int block = -1) {
    std::vector<std::string> out;
    int seen = 0;
    for (const auto& entry : menu) {
        if (entry.kind == MenuEntry::Kind::separator) ++seen;
        if (block >= 0 && (seen != block || entry.kind == MenuEntry::Kind::separator)) continue;
        std::string row = entry.kind == MenuEntry::Kind::separator ? "---"
                          : entry.kind == MenuEntry::Kind::footer  ? "[footer]"
                                                                   : entry.title;
        if (entry.checkable) row += entry.checked ? " [x]" : " [ ]";
        if (!entry.enabled && entry.kind != MenuEntry::Kind::separator) row += " (off)";
        out.push_back(row);
    }
    return out;
}

const MenuEntry* find(const std::vector<MenuEntry>& menu, const std::string& title) {
    const auto it = std::ranges::find(menu, title, &MenuEntry::title);
    return it == menu.end() ? nullptr : &*it;
}

class TrayMenuModelTest : public ::testing::Test {
  protected:
    // `outcome`: the usage fetch's answer; none while it has not answered.
    void makeModels(std::optional<UsageOutcome> outcome = std::nullopt) {
        usage = UsageStore::create(main, main, preferences, [outcome](BackgroundTask&, auto done) {
            if (outcome) done(*outcome);
        });
        phone = PhoneLink::create(main, preferences, gate,
                                  testing::appTestEnvironment(main, preferences, "/").phone);
        main.runPending();
        input.serverStatus = "Listening on 127.0.0.1:47821";
        input.store = store.get();
        input.usage = usage.get();
        input.phone = phone.get();
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
    std::shared_ptr<SessionStore> store =
        SessionStore::create(main, main, std::make_shared<testing::FakeProcessProbe>(),
                             std::make_shared<testing::FakeRandom>());
    std::shared_ptr<ApprovalGate> gate =
        ApprovalGate::create(main, main, std::make_shared<testing::FakeRandom>());
    std::shared_ptr<UsageStore> usage;
    std::shared_ptr<PhoneLink> phone;
    TrayMenuInput input;
};

TEST_F(TrayMenuModelTest, EmptyMenuFromTopToBottom) {
    makeModels();
    const auto menu = buildStatusMenu(input);
    EXPECT_EQ(
        rows(menu),
        (std::vector<std::string>{
            "Brimwick: Listening on 127.0.0.1:47821 (off)", "---",
            "No active Claude Code sessions (off)", "---", "Loading usage\u2026 (off)",
            "Refresh usage", "Show Claude usage in the island [x]", "---",
            "Connect phone over Wi\u2011Fi [ ]", "---", "Connect to Claude Code (install hooks)",
            "Demo", "Open at login [ ]", "---", "Quit Brimwick", "---", "[footer]"}));
    const MenuEntry* demo = find(menu, kDemo);
    EXPECT_EQ(demo->kind, MenuEntry::Kind::submenu);
    EXPECT_EQ(rows(demo->entries),
              (std::vector<std::string>{"Add one demo session", "Add five demo sessions",
                                        "Clear all faces"}));
    EXPECT_EQ(demo->entries[0].command, MenuCommand::demoOne);
    EXPECT_EQ(demo->entries[1].command, MenuCommand::demoFive);
    EXPECT_EQ(demo->entries[2].command, MenuCommand::clearAll);
    for (const auto& entry : menu) {
        EXPECT_EQ(entry.key, entry.title == kQuit ? "Ctrl+Q" : "") << entry.title;  // only Quit's
        if (entry.kind ==
            MenuEntry::Kind::item) {  // disabled rows are exactly those without a command
            EXPECT_EQ(entry.enabled, entry.command != MenuCommand::none) << entry.title;
        }
    }
    EXPECT_EQ(find(menu, kQuit)->command, MenuCommand::quit);
    EXPECT_EQ(find(menu, kInstallHooks)->command, MenuCommand::installHooks);
}

TEST_F(TrayMenuModelTest, SessionsAreRankedAndOnlyThoseWithAFoundHostCanBeChosen) {
    makeModels();
    event("UserPromptSubmit", "a", "/src/weather", 100);
    event("UserPromptSubmit", "b", "/src/atlas", std::nullopt);
    event("PermissionRequest", "c", "/src/zebra", 300);
    event("UserPromptSubmit", "d", "/src/quiet", 400);  // a process without a desktop app
    int asked = 0;
    input.hostAppName = [&](std::optional<std::int32_t> pid) -> std::optional<std::string> {
        ++asked;
        EXPECT_TRUE(pid) << "asked for a session without a process";
        if (pid == 100) return "XTerm";
        if (pid == 300) return "Konsole";
        return std::nullopt;
    };
    auto menu = buildStatusMenu(input);
    EXPECT_EQ(rows(menu, 1),
              (std::vector<std::string>{"zebra: Needs your approval  \u00b7  Konsole",
                                        "weather: Thinking  \u00b7  XTerm", "atlas: Thinking (off)",
                                        "quiet: Thinking (off)"}));
    EXPECT_EQ(asked, 3);
    const MenuEntry* zebra = find(menu, "zebra: Needs your approval  \u00b7  Konsole");
    EXPECT_EQ(zebra->command, MenuCommand::focusSession);
    EXPECT_EQ(zebra->sessionId, "c");
    EXPECT_EQ(find(menu, "atlas: Thinking")->sessionId, "");
    // No host lookup at all (no desktop): every session is listed, none can be chosen.
    input.hostAppName = nullptr;
    EXPECT_EQ(rows(buildStatusMenu(input), 1)[0], "zebra: Needs your approval (off)");
}

TEST_F(TrayMenuModelTest, UsagePhoneHookAndLoginBlocksFollowTheirModels) {
    preferences.setValue(UsageStore::preferenceKey, false);
    makeModels();
    // Usage switched off: no figures, no loading line, no refresh, no checkmark.
    EXPECT_EQ(rows(buildStatusMenu(input), 2),
              (std::vector<std::string>{"Show Claude usage in the island [ ]"}));
    preferences.setValue(UsageStore::preferenceKey, true);
    makeModels(UsageError::of(UsageError::Kind::signedOut));
    EXPECT_EQ(
        rows(buildStatusMenu(input), 2),
        (std::vector<std::string>{UsageError::of(UsageError::Kind::signedOut).text() + " (off)",
                                  "Refresh usage", "Show Claude usage in the island [x]"}));

    // Phone on, nothing paired (this server could not start, so the status says why).
    phone->setEnabled(true);
    auto menu = buildStatusMenu(input);
    EXPECT_EQ(rows(menu, 3),
              (std::vector<std::string>{"Connect phone over Wi\u2011Fi [x]",
                                        "Phone: " + phone->status() + " (off)",
                                        "Pair a phone (show QR code)\u2026",
                                        "Approve from phone [x]", "Pairing code: 123 456 (off)"}));
    EXPECT_EQ(find(menu, kApproveFromPhone)->tooltip,
              "While your phone is connected, permission requests wait up to 2 minutes for its "
              "answer before the normal prompt.");
    // Two paired phones, listed in the link's order; approvals switched off.
    preferences.setValue(Pairing::kDevicesKey, {{"t1", "Pixel 9"}, {"t2", "Galaxy S24"}});
    preferences.setValue(PhoneLink::kApprovalsKey, false);
    makeModels();
    input.hooksInstalled = input.launchAtLogin = true;
    menu = buildStatusMenu(input);
    EXPECT_EQ(rows(menu, 3),
              (std::vector<std::string>{
                  "Connect phone over Wi\u2011Fi [x]", "Phone: " + phone->status() + " (off)",
                  "Pair a phone (show QR code)\u2026", "Approve from phone [ ]",
                  "Pairing code: 123 456 (off)", "Paired: Galaxy S24, Pixel 9 (off)",
                  "Forget paired phones"}));
    EXPECT_EQ(rows(menu, 4),
              (std::vector<std::string>{"Remove Claude Code hooks", "Demo", "Open at login [x]"}));
    const std::pair<const char*, MenuCommand> commands[] = {
        {kRefreshUsage, MenuCommand::refreshUsage},
        {kShowUsage, MenuCommand::toggleUsage},
        {kConnectPhone, MenuCommand::togglePhone},
        {kPairPhone, MenuCommand::showPairing},
        {kApproveFromPhone, MenuCommand::toggleApprovals},
        {kForgetPhones, MenuCommand::forgetPhones},
        {kRemoveHooks, MenuCommand::uninstallHooks},
        {kOpenAtLogin, MenuCommand::toggleLaunchAtLogin}};
    for (const auto& [title, command] : commands)
        EXPECT_EQ(find(menu, title)->command, command) << title;
}

}  // namespace
}  // namespace brimwick
