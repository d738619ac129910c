#include "app/headless_runner.h"

#include <asio/io_context.hpp>
#include <iostream>
#include <map>

#include "app/app.h"
#include "app/headless_options.h"
#include "app/system_environment.h"
#include "phone/phone_status_lines.h"
#include "platform/asio_main_queue.h"
#include "platform/quit_signals.h"
#include "platform/suspend_wake_monitor.h"
#include "usage/usage_text.h"

namespace brimwick {
namespace {

// Every line is flushed at once: scripts and tests read the output as it comes.
void printLine(const std::string& line) {
    std::cout << line << std::endl;
}

// The text face: what the menu would show, printed line by line when it changes.
class HeadlessFace final : public AppFace {
  public:
    void attach(App& app) { app_ = &app; }

    void rebuildMenu() override {
        if (!app_) return;
        printIfChanged(serverLines_, {"hook server: " + app_->serverStatus()});
        printIfChanged(phoneLines_, app_->phone().enabled() ? phoneStatusLines(app_->phone())
                                                            : std::vector<std::string>{});
    }
    void showIconState(std::optional<BotState>) override {
        if (app_) printIfChanged(sessionLines_, {sessionsLine(app_->store().ranked())});
    }
    void alert(const std::string& title, const std::string& text) override {
        std::cerr << title << "\n" << text << std::endl;
    }
    void beep() override {}

    void usageChanged(const Clock& clock) {
        if (!app_) return;
        auto lines = usageMenuLines(app_->usage(), clock.now());
        for (auto& line : lines) line = "usage: " + line;
        printIfChanged(usageLines_, lines);
    }

  private:
    static void printIfChanged(std::vector<std::string>& last, std::vector<std::string> lines) {
        if (lines == last) return;
        for (const auto& line : lines) printLine(line);
        last = std::move(lines);
    }

    App* app_ = nullptr;
    std::vector<std::string> serverLines_, phoneLines_, usageLines_, sessionLines_;
};

// Notifications as text: what the desktop would show, never with buttons, so no request is ever
// held for the desktop here.
class HeadlessNotifications final : public DesktopNotifications {
  public:
    NotificationSupport support() const override { return NotificationSupport::plain; }
    void show(const std::string& key, const DesktopNotification& notification) override {
        shown_[key] = notification.summary;
        printLine(notifyLine(notification));
    }
    void close(const std::string& key) override {
        const auto it = shown_.find(key);
        if (it == shown_.end()) return;
        printLine("notify: withdrawn " + it->second);
        shown_.erase(it);
    }

  private:
    std::map<std::string, std::string> shown_;  // summaries by key
};

int setLoginItem(bool on) {
    auto item = XdgAutostartLoginItem::forCurrentUser();
    if (auto changed = item.setEnabled(on); !changed) {
        std::cerr << App::kLoginItemTitle << "\n"
                  << App::loginItemFailure(item, changed.error()) << std::endl;
        return 1;
    }
    printLine(std::string("login item: ") + (on ? "on" : "off"));
    return 0;
}

}  // namespace

std::string notifyLine(const DesktopNotification& notification) {
    std::string line = "notify: " + notification.summary;
    if (!notification.body.empty()) line += " \u00b7 " + notification.body;
    return line;
}

std::string sessionsLine(const std::vector<AgentSession>& ranked) {
    if (ranked.empty()) return "sessions: none";
    std::string line = "sessions: ";
    for (std::size_t i = 0; i < ranked.size(); ++i) {
        if (i > 0) line += ", ";
        line += ranked[i].project + ": " + std::string(label(ranked[i].state));
    }
    return line;
}

int runHeadless(int argc, char** argv) {
    const auto options = parseHeadlessOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (!options.ok()) {
        std::cerr << "brimwick: " << options.error().message << "\n\n" << headlessUsage();
        return 2;
    }
    if (options->help) {
        std::cout << headlessUsage();
        return 0;
    }
    if (options->loginItem) return setLoginItem(*options->loginItem);

    SystemEnvironment system;
    // The phone switch is stored before the link reads it, as the menu toggle would store it.
    if (options->phone) system.preferences().setValue(PhoneLink::kEnabledKey, *options->phone);
    if (options->approveDesktop) {
        system.preferences().setValue(DesktopNotifier::kApprovalsKey, *options->approveDesktop);
    }
    HeadlessFace face;
    HeadlessNotifications notifications;
    // Declared after what queued tasks may touch: tasks still queued at the end are dropped
    // unrun with the context, while all of that still exists.
    asio::io_context context;
    AsioMainQueue main(context);
    // A signal stops the loop from the signal thread, after the task at hand, however many wait
    // behind it; one that came during start-up makes run() return at once.
    QuitSignals quit([&context] { context.stop(); });
    SuspendWakeMonitor wake(main);

    AppEnvironment environment = system.environment(main, &wake);
    environment.notifications = &notifications;
    auto app = App::launch(std::move(environment), face);
    face.attach(*app);
    face.rebuildMenu();
    main.post([&face, &system] { face.usageChanged(system.clock()); });
    Subscription usage = app->usage().changed.connect([&main, &face, &system] {
        main.post([&face, &system] { face.usageChanged(system.clock()); });
    });

    if (options->demo > 0) app->store().spawnDemo(options->demo);

    context.run();
    // The servers' and the usage fetch's threads end with the app.
    app.reset();
    return 0;
}

}  // namespace brimwick
