// App: the root of the process, shared by both faces. It creates every model object once,
// connects them, starts the hook server (whose routes the HookRouter decides) and runs the
// commands of the menu and the island.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/app_face.h"
#include "app/hook_router.h"
#include "core/clock.h"
#include "core/coalesced_task.h"
#include "core/main_queue.h"
#include "core/preferences.h"
#include "core/random_source.h"
#include "core/shared_texts.h"
#include "core/signal.h"
#include "hooks/hook_server.h"
#include "notifications/desktop_notifier.h"
#include "phone/phone_link.h"
#include "platform/login_item.h"
#include "platform/process_probe.h"
#include "platform/wake_monitor.h"
#include "sessions/session_focus.h"
#include "sessions/session_store.h"
#include "usage/usage_store.h"

namespace brimwick {

// Everything the app uses from outside; tests replace any of it.
struct AppEnvironment {
    MainQueue* main = nullptr;
    const Clock* clock = nullptr;
    Preferences* preferences = nullptr;
    std::shared_ptr<const ProcessProbe> probe;
    std::shared_ptr<RandomSource> random;
    UsageStore::StartFetch usageFetch;
    WakeMonitor* wake = nullptr;  // no wake refresh when null
    PhoneLink::Services phone;
    LoginItem* loginItem = nullptr;
    SessionFocus* focus = nullptr;  // no terminal is ever found when null
    std::string home;               // whose ~/.claude/settings.json the hooks go into
    HookServer::Options hookServer;
    DesktopNotifications* notifications = nullptr;  // no desktop notifications when null
};

class App : public std::enable_shared_from_this<App> {
  public:
    static constexpr const char* kLoginItemTitle = "Couldn't change login item";
    // The alert's text when `item` could not be switched.
    static std::string loginItemFailure(const LoginItem& item, const Error& error);

    // Runs the whole start-up: models, the face's own parts, the hook server, the silent hook
    // refresh, the subscriptions and a first phone snapshot. `face` must outlive the app.
    static std::shared_ptr<App> launch(AppEnvironment environment, AppFace& face);
    ~App();

    SessionStore& store() const { return *store_; }
    UsageStore& usage() const { return *usage_; }
    PhoneLink& phone() const { return *phone_; }
    ApprovalGate& gate() const { return *gate_; }
    DesktopNotifier& notifier() const { return *notifier_; }
    HookServer* server() const { return server_.get(); }
    const std::string& serverStatus() const { return serverStatus_; }
    const AppEnvironment& environment() const { return env_; }

    // Commands of the menu and the island.
    void focusSession(const std::string& sessionId);
    void installHooks();
    void uninstallHooks();
    bool hooksInstalled() const;
    bool launchAtLogin() const;
    void toggleLaunchAtLogin();
    // Sets the login item; the error text (with advice) on failure.
    std::optional<std::string> setLaunchAtLogin(bool on);

    // Rebuilds the phone snapshot, keeps it and hands it to a running phone server.
    void publishToPhone();

  private:
    App(AppEnvironment environment, AppFace& face);
    void finishLaunching();
    void startServer();

    AppEnvironment env_;
    AppFace& face_;
    std::shared_ptr<SessionStore> store_;
    std::shared_ptr<UsageStore> usage_;
    std::shared_ptr<ApprovalGate> gate_;
    std::shared_ptr<PhoneLink> phone_;
    std::shared_ptr<DesktopNotifier> notifier_;
    std::shared_ptr<HookRouter> router_;
    std::unique_ptr<HookServer> server_;
    std::string serverStatus_ = shared_text::kStarting;
    std::unique_ptr<CoalescedTask> iconUpdate_, menuRebuild_, phonePublish_;
    std::vector<Subscription> cancellables_;
};

}  // namespace brimwick
