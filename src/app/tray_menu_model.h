// TrayMenuModel: what the tray menu shows — every title, separator, checkmark and enabled
// state — built from the application's models, and the commands its items run. Toolkit-free, so
// the menu's contents are tested without a display.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/app_face.h"
#include "core/clock.h"
#include "notifications/desktop_notifier.h"
#include "phone/phone_link.h"
#include "sessions/session_store.h"
#include "usage/usage_store.h"

namespace brimwick {

class App;

// What choosing an item does.
enum class MenuCommand {
    none,  // an information line; never chosen
    focusSession,
    refreshUsage,
    toggleUsage,
    togglePhone,
    showPairing,
    toggleApprovals,
    toggleNotify,
    toggleDesktopApprovals,
    forgetPhones,
    installHooks,
    uninstallHooks,
    demoOne,
    demoFive,
    clearAll,
    toggleLaunchAtLogin,
    quit,
};

// One row of the menu. The footer row (brand mark, "by TAMSEL", "About Brimwick") is drawn by
// the toolkit; the model only says where it goes.
struct MenuEntry {
    enum class Kind { item, separator, submenu, footer };

    Kind kind = Kind::item;
    std::string title;
    bool enabled = false;    // items without a command are disabled
    bool checkable = false;  // an on/off switch
    bool checked = false;
    std::string tooltip;
    std::string key;  // shortcut in Qt's portable text form ("Ctrl+Q"), or empty
    MenuCommand command = MenuCommand::none;
    std::string sessionId;           // for focusSession
    std::vector<MenuEntry> entries;  // a submenu's items

    bool operator==(const MenuEntry&) const = default;
};

// Everything the menu is built from. The pointers must be valid for the call.
struct TrayMenuInput {
    // The host application's name for a session's host process id; none when the process has
    // no desktop application (or there is no id). Empty function: no host is ever found.
    using HostAppName = std::function<std::optional<std::string>(std::optional<std::int32_t>)>;

    std::string serverStatus;
    const SessionStore* store = nullptr;
    const UsageStore* usage = nullptr;
    const PhoneLink* phone = nullptr;
    const DesktopNotifier* notifier = nullptr;  // no notification switches when null
    bool hooksInstalled = false;
    bool launchAtLogin = false;
    Instant now = 0;
    HostAppName hostAppName;
};

namespace menu_text {
inline constexpr const char* kHeaderPrefix = "Brimwick: ";
inline constexpr const char* kNoSessions = "No active Claude Code sessions";
inline constexpr const char* kHostSeparator = "  \u00b7  ";
inline constexpr const char* kRefreshUsage = "Refresh usage";
inline constexpr const char* kShowUsage = "Show Claude usage in the island";
inline constexpr const char* kConnectPhone = "Connect phone over Wi\u2011Fi";
inline constexpr const char* kPhonePrefix = "Phone: ";
inline constexpr const char* kPairPhone = "Pair a phone (show QR code)\u2026";
inline constexpr const char* kApproveFromPhone = "Approve from phone";
inline constexpr const char* kApproveTooltip =
    "While your phone is connected, permission requests wait up to 2 minutes for its answer "
    "before the normal prompt.";
inline constexpr const char* kNotify = "Notify when a session needs me";
inline constexpr const char* kNotifyTooltip =
    "A desktop notification when a session waits for your approval or your answer, or hits an "
    "error. Click it to bring the session's terminal forward.";
inline constexpr const char* kApproveFromDesktop = "Approve from desktop";
inline constexpr const char* kApproveFromDesktopTooltip =
    "Approval notifications get Allow and Deny buttons, and permission requests wait up to 2 "
    "minutes for them, in scripts (claude -p) too.";
inline constexpr const char* kPairingCodePrefix = "Pairing code: ";
inline constexpr const char* kPairedPrefix = "Paired: ";
inline constexpr const char* kForgetPhones = "Forget paired phones";
inline constexpr const char* kRemoveHooks = "Remove Claude Code hooks";
inline constexpr const char* kInstallHooks = "Connect to Claude Code (install hooks)";
inline constexpr const char* kDemo = "Demo";
inline constexpr const char* kDemoOne = "Add one demo session";
inline constexpr const char* kDemoFive = "Add five demo sessions";
inline constexpr const char* kClearAll = "Clear all faces";
inline constexpr const char* kOpenAtLogin = "Open at login";
inline constexpr const char* kQuit = "Quit Brimwick";
inline constexpr const char* kQuitKey = "Ctrl+Q";
}  // namespace menu_text

// The menu's rows, top to bottom, ending with a separator and the footer.
std::vector<MenuEntry> buildStatusMenu(const TrayMenuInput& input);

// The input for the app's current state; host names come from its environment's focus
// service and the time from its clock. Main thread.
TrayMenuInput trayMenuInput(const App& app);

// Runs a chosen item's command on the models. `quit` is the face's to handle and does nothing
// here. Main thread.
void performMenuCommand(App& app, AppFace& face, MenuCommand command,
                        const std::string& sessionId = {});

}  // namespace brimwick
