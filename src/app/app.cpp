#include "app/app.h"

#include "app/hooks_cli.h"
#include "core/shared_texts.h"
#include "hooks/hook_installer.h"
#include "phone/phone_snapshot.h"

namespace brimwick {
namespace {

// Lets the terminal-focus procedure beep through whichever face is showing.
class FaceBeeper final : public Beeper {
  public:
    explicit FaceBeeper(AppFace& face) : face_(face) {}
    void beep() override { face_.beep(); }

  private:
    AppFace& face_;
};

}  // namespace

std::shared_ptr<App> App::launch(AppEnvironment environment, AppFace& face) {
    std::shared_ptr<App> app(new App(std::move(environment), face));
    app->finishLaunching();
    return app;
}

App::App(AppEnvironment environment, AppFace& face) : env_(std::move(environment)), face_(face) {}

App::~App() {
    // Stop the server thread first: its callbacks post to the main queue.
    server_.reset();
}

void App::finishLaunching() {
    MainQueue& main = *env_.main;
    store_ = SessionStore::create(main, *env_.clock, env_.probe, env_.random);
    usage_ = UsageStore::create(main, *env_.clock, *env_.preferences, env_.usageFetch, env_.wake);
    gate_ = ApprovalGate::create(main, *env_.clock, env_.random);
    phone_ = PhoneLink::create(main, *env_.preferences, gate_, env_.phone);

    std::weak_ptr<App> weak = weak_from_this();
    notifier_ = DesktopNotifier::create(main, *env_.preferences, store_, gate_, env_.notifications,
                                        [weak](const std::string& sessionId) {
                                            if (auto self = weak.lock())
                                                self->focusSession(sessionId);
                                        });
    phone_->onPrompt = [weak](const std::string& sessionId, const std::string& text) {
        auto self = weak.lock();
        if (!self) return Outcome{false, shared_text::kNotReady};
        return self->phone_->prompts().queue(text, self->store_->session(sessionId));
    };
    phone_->pairing().closePairingWindow = [weak] {
        if (auto self = weak.lock()) self->face_.closePairingWindow();
    };

    face_.modelsCreated(*this);
    startServer();

    // Outdated hooks from an earlier version are refreshed without a word.
    if (hook_installer::isInstalled(env_.home) && hook_installer::isOutdated(env_.home)) {
        (void)hook_installer::install(env_.home);
    }

    // A burst of changes (a flood of hook events) is shown once, after the last of them: the
    // work per change stays small however many sessions there are.
    iconUpdate_ = std::make_unique<CoalescedTask>(main, [weak] {
        auto self = weak.lock();
        if (!self) return;
        const auto ranked = self->store_->ranked();
        self->face_.showIconState(ranked.empty() ? std::nullopt
                                                 : std::optional(ranked.front().state));
    });
    menuRebuild_ = std::make_unique<CoalescedTask>(main, [weak] {
        if (auto self = weak.lock()) self->face_.rebuildMenu();
    });
    phonePublish_ = std::make_unique<CoalescedTask>(main, [weak] {
        if (auto self = weak.lock()) self->publishToPhone();
    });
    cancellables_.push_back(store_->changed.connect([this](const SessionChange&) {
        menuRebuild_->request();
        iconUpdate_->request();
        phonePublish_->request();
    }));
    cancellables_.push_back(usage_->changed.connect([this] { phonePublish_->request(); }));
    cancellables_.push_back(gate_->changed.connect([this] { phonePublish_->request(); }));
    cancellables_.push_back(notifier_->changed.connect([this] { menuRebuild_->request(); }));
    cancellables_.push_back(phone_->changed.connect([this] {
        menuRebuild_->request();
        phonePublish_->request();
    }));

    publishToPhone();
}

void App::startServer() {
    router_ = std::make_shared<HookRouter>(*env_.main, store_, gate_, phone_, usage_);
    auto callbacks = router_->callbacks();
    std::weak_ptr<App> weak = weak_from_this();
    callbacks.onStatus = [weak, &main = *env_.main](std::string status) {
        main.post([weak, status = std::move(status)] {
            auto self = weak.lock();
            if (!self) return;
            self->serverStatus_ = status;
            self->face_.rebuildMenu();
        });
    };
    server_ = std::make_unique<HookServer>(std::move(callbacks), env_.hookServer);
    if (auto started = server_->start(); !started) {
        serverStatus_ = "Couldn't open port " + std::to_string(HookServer::kPort) + ": " +
                        started.error().message;
        face_.rebuildMenu();
    }
}

void App::publishToPhone() {
    SessionFocus* focus = env_.focus;
    phone_snapshot::HostAppName hostAppName;
    if (focus) {
        hostAppName = [focus](std::optional<std::int32_t> pid) { return focus->hostAppName(pid); };
    }
    auto snapshot = phone_snapshot::snapshot(*store_, *usage_, phone_->hostName(), gate_->pending(),
                                             phone_->prompts().queued(), phone_->projects().list(),
                                             *env_.clock, hostAppName);
    // A change nobody can see (a process id, a task set again) would wake every phone for
    // nothing.
    if (phone_snapshot::sameContent(snapshot, phone_->lastSnapshot())) return;
    phone_->publish(std::move(snapshot));
}

void App::focusSession(const std::string& sessionId) {
    const auto session = store_->session(sessionId);
    if (!session) return;
    FaceBeeper beeper(face_);
    if (!env_.focus) {
        beeper.beep();
        return;
    }
    env_.focus->bringForward(*session, beeper);
}

void App::installHooks() {
    const auto installed = hook_installer::install(env_.home);
    if (installed) {
        face_.alert(std::string(kConnectedAlertTitle), connectedAlertText(*installed));
    } else {
        face_.alert(std::string(kInstallFailedAlertTitle), installed.error().message);
    }
    face_.rebuildMenu();
}

void App::uninstallHooks() {
    if (auto removed = hook_installer::uninstall(env_.home); !removed) {
        face_.alert(std::string(kRemoveFailedAlertTitle), removed.error().message);
    }
    face_.rebuildMenu();
}

bool App::hooksInstalled() const {
    return hook_installer::isInstalled(env_.home);
}

bool App::launchAtLogin() const {
    return env_.loginItem && env_.loginItem->enabled();
}

std::optional<std::string> App::setLaunchAtLogin(bool on) {
    if (!env_.loginItem) return std::string("Open at login isn't available.");
    if (auto changed = env_.loginItem->setEnabled(on); !changed) {
        return loginItemFailure(*env_.loginItem, changed.error());
    }
    return std::nullopt;
}

std::string App::loginItemFailure(const LoginItem& item, const Error& error) {
    return error.message + "\n\nMake sure " + item.folder() + " is writable, then try again.";
}

void App::toggleLaunchAtLogin() {
    if (auto failure = setLaunchAtLogin(!launchAtLogin())) face_.alert(kLoginItemTitle, *failure);
    face_.rebuildMenu();
}

}  // namespace brimwick
