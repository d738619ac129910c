#include "app/tray_menu_model.h"

#include "app/app.h"
#include "usage/usage_text.h"

namespace brimwick {
namespace {

using namespace menu_text;

MenuEntry separator() {
    MenuEntry entry;
    entry.kind = MenuEntry::Kind::separator;
    return entry;
}

MenuEntry line(std::string title) {
    MenuEntry entry;
    entry.title = std::move(title);
    return entry;
}

MenuEntry command(std::string title, MenuCommand command) {
    MenuEntry entry;
    entry.title = std::move(title);
    entry.enabled = true;
    entry.command = command;
    return entry;
}

MenuEntry toggle(std::string title, MenuCommand which, bool on) {
    MenuEntry entry = command(std::move(title), which);
    entry.checkable = true;
    entry.checked = on;
    return entry;
}

void addSessions(const TrayMenuInput& input, std::vector<MenuEntry>& menu) {
    if (input.store->sessions().empty()) {
        menu.push_back(line(kNoSessions));
        return;
    }
    for (const AgentSession& session : input.store->ranked()) {
        MenuEntry entry = line(session.project + ": " + std::string(label(session.state)));
        // Only a session whose terminal can be brought forward is offered as a command.
        std::optional<std::string> host;
        if (session.hostPID && input.hostAppName) host = input.hostAppName(session.hostPID);
        if (host && !host->empty()) {
            entry.title += kHostSeparator + *host;
            entry.enabled = true;
            entry.command = MenuCommand::focusSession;
            entry.sessionId = session.id;
        }
        menu.push_back(std::move(entry));
    }
}

void addUsage(const TrayMenuInput& input, std::vector<MenuEntry>& menu) {
    const UsageStore& usage = *input.usage;
    if (usage.enabled()) {
        for (auto& text : usageMenuLines(usage, input.now)) menu.push_back(line(std::move(text)));
        menu.push_back(command(kRefreshUsage, MenuCommand::refreshUsage));
    }
    menu.push_back(toggle(kShowUsage, MenuCommand::toggleUsage, usage.enabled()));
}

void addNotifications(const TrayMenuInput& input, std::vector<MenuEntry>& menu) {
    const DesktopNotifier& notifier = *input.notifier;
    MenuEntry notify = toggle(kNotify, MenuCommand::toggleNotify, notifier.notifyEnabled());
    notify.tooltip = kNotifyTooltip;
    menu.push_back(std::move(notify));
    MenuEntry approvals = toggle(kApproveFromDesktop, MenuCommand::toggleDesktopApprovals,
                                 notifier.approveFromDesktop());
    approvals.tooltip = kApproveFromDesktopTooltip;
    menu.push_back(std::move(approvals));
    if (auto why = notifier.unavailableReason()) menu.push_back(line(*why));
}

void addPhone(const TrayMenuInput& input, std::vector<MenuEntry>& menu) {
    const PhoneLink& phone = *input.phone;
    menu.push_back(toggle(kConnectPhone, MenuCommand::togglePhone, phone.enabled()));
    if (!phone.enabled()) return;
    if (!phone.status().empty()) menu.push_back(line(kPhonePrefix + phone.status()));
    menu.push_back(command(kPairPhone, MenuCommand::showPairing));
    MenuEntry approvals =
        toggle(kApproveFromPhone, MenuCommand::toggleApprovals, phone.approveFromPhone());
    approvals.tooltip = kApproveTooltip;
    menu.push_back(std::move(approvals));
    const Pairing& pairing = phone.pairing();
    if (!pairing.code().empty()) {
        menu.push_back(line(kPairingCodePrefix + Pairing::grouped(pairing.code())));
    }
    if (!pairing.devices().empty()) {
        std::string names;
        for (const auto& name : pairing.deviceNames()) {
            if (!names.empty()) names += ", ";
            names += name;
        }
        menu.push_back(line(kPairedPrefix + names));
        menu.push_back(command(kForgetPhones, MenuCommand::forgetPhones));
    }
}

}  // namespace

std::vector<MenuEntry> buildStatusMenu(const TrayMenuInput& input) {
    std::vector<MenuEntry> menu;
    menu.push_back(line(kHeaderPrefix + input.serverStatus));
    menu.push_back(separator());
    addSessions(input, menu);
    menu.push_back(separator());
    addUsage(input, menu);
    menu.push_back(separator());
    addPhone(input, menu);
    menu.push_back(separator());
    if (input.notifier) {
        addNotifications(input, menu);
        menu.push_back(separator());
    }
    if (input.hooksInstalled) {
        menu.push_back(command(kRemoveHooks, MenuCommand::uninstallHooks));
    } else {
        menu.push_back(command(kInstallHooks, MenuCommand::installHooks));
    }

    MenuEntry demo;
    demo.kind = MenuEntry::Kind::submenu;
    demo.title = kDemo;
    demo.enabled = true;
    demo.entries = {command(kDemoOne, MenuCommand::demoOne),
                    command(kDemoFive, MenuCommand::demoFive),
                    command(kClearAll, MenuCommand::clearAll)};
    menu.push_back(std::move(demo));

    menu.push_back(toggle(kOpenAtLogin, MenuCommand::toggleLaunchAtLogin, input.launchAtLogin));
    menu.push_back(separator());
    MenuEntry quit = command(kQuit, MenuCommand::quit);
    quit.key = kQuitKey;
    menu.push_back(std::move(quit));
    menu.push_back(separator());
    MenuEntry footer;
    footer.kind = MenuEntry::Kind::footer;
    footer.enabled = true;
    menu.push_back(std::move(footer));
    return menu;
}

TrayMenuInput trayMenuInput(const App& app) {
    const AppEnvironment& env = app.environment();
    TrayMenuInput input;
    input.serverStatus = app.serverStatus();
    input.store = &app.store();
    input.usage = &app.usage();
    input.phone = &app.phone();
    input.notifier = &app.notifier();
    input.hooksInstalled = app.hooksInstalled();
    input.launchAtLogin = app.launchAtLogin();
    input.now = env.clock->now();
    if (SessionFocus* focus = env.focus) {
        input.hostAppName = [focus](std::optional<std::int32_t> pid) {
            return focus->hostAppName(pid);
        };
    }
    return input;
}

void performMenuCommand(App& app, AppFace& face, MenuCommand command,
                        const std::string& sessionId) {
    switch (command) {
        case MenuCommand::none:
        case MenuCommand::quit:
            return;
        case MenuCommand::focusSession:
            app.focusSession(sessionId);
            return;
        case MenuCommand::refreshUsage:
            app.usage().refresh(true);
            return;
        case MenuCommand::toggleUsage:
            app.usage().setEnabled(!app.usage().enabled());
            return;
        case MenuCommand::togglePhone: {
            PhoneLink& phone = app.phone();
            phone.setEnabled(!phone.enabled());
            if (phone.enabled()) face.showPairingWindow();
            return;
        }
        case MenuCommand::showPairing:
            face.showPairingWindow();
            return;
        case MenuCommand::toggleApprovals:
            app.phone().setApproveFromPhone(!app.phone().approveFromPhone());
            return;
        case MenuCommand::toggleNotify:
            app.notifier().setNotifyEnabled(!app.notifier().notifyEnabled());
            return;
        case MenuCommand::toggleDesktopApprovals:
            app.notifier().setApproveFromDesktop(!app.notifier().approveFromDesktop());
            return;
        case MenuCommand::forgetPhones:
            app.phone().forgetDevices();
            return;
        case MenuCommand::installHooks:
            app.installHooks();
            return;
        case MenuCommand::uninstallHooks:
            app.uninstallHooks();
            return;
        case MenuCommand::demoOne:
            app.store().spawnDemo(1);
            return;
        case MenuCommand::demoFive:
            app.store().spawnDemo(5);
            return;
        case MenuCommand::clearAll:
            app.store().clearAll();
            return;
        case MenuCommand::toggleLaunchAtLogin:
            app.toggleLaunchAtLogin();
            return;
    }
}

}  // namespace brimwick
