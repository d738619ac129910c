#include "app/app_delegate.h"

#include "app/hooks_cli.h"
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

std::shared_ptr<AppDelegate> AppDelegate::launch(AppEnvironment environment, AppFace& face) {
    std::shared_ptr<AppDelegate> delegate(new AppDelegate(std::move(environment), face));
    delegate->finishLaunching();
    return delegate;
}

AppDelegate::AppDelegate(AppEnvironment environment, AppFace& face)
    : env_(std::move(environment)), face_(face) {}

AppDelegate::~AppDelegate() {
    // Stop the server thread first: its callbacks post to the main queue.
    server_.reset();
}

void AppDelegate::finishLaunching() {
    MainQueue& main = *env_.main;
    store_ = SessionStore::create(main, *env_.clock, env_.probe, env_.random);
    usage_ = UsageStore::create(main, *env_.clock, *env_.preferences, env_.usageFetch, env_.wake);
    phone_ = PhoneLink::create(main, *env_.clock, *env_.preferences, env_.phone);

    std::weak_ptr<AppDelegate> weak = weak_from_this();
    phone_->onPrompt = [weak](const std::string& sessionId, const std::string& text) {
        auto self = weak.lock();
        if (!self) return PhoneLink::Outcome{false, kNotReady};
        return self->phone_->queuePrompt(text, self->store_->session(sessionId));
    };
    phone_->closePairingWindow = [weak] {
        if (auto self = weak.lock()) self->face_.closePairingWindow();
    };

    face_.modelsCreated(*this);
    startServer();

    // Outdated hooks from an earlier version are refreshed without a word.
    if (HookInstaller::isInstalled(env_.home) && HookInstaller::isOutdated(env_.home)) {
        (void)HookInstaller::install(env_.home);
    }

    // Each change schedules its own task, which sees the state after the change.
    cancellables_.push_back(store_->changed.connect([weak, &main](const SessionChange&) {
        main.post([weak] {
            auto self = weak.lock();
            if (!self) return;
            self->face_.rebuildMenu();
            const auto ranked = self->store_->ranked();
            self->face_.showIconState(ranked.empty() ? std::nullopt
                                                     : std::optional(ranked.front().state));
        });
    }));
    const auto publishLater = [weak, &main] {
        main.post([weak] {
            if (auto self = weak.lock()) self->publishToPhone();
        });
    };
    cancellables_.push_back(
        store_->changed.connect([publishLater](const SessionChange&) { publishLater(); }));
    cancellables_.push_back(usage_->changed.connect(publishLater));
    cancellables_.push_back(phone_->changed.connect([weak, &main] {
        main.post([weak] {
            auto self = weak.lock();
            if (!self) return;
            self->face_.rebuildMenu();
            self->publishToPhone();
        });
    }));

    publishToPhone();
}

void AppDelegate::startServer() {
    MainQueue& main = *env_.main;
    std::weak_ptr<AppDelegate> weak = weak_from_this();
    // The event callbacks hold the models weakly, like everything else that is queued: the
    // models, the phone server's thread and the usage fetch's thread end with the delegate, not
    // whenever the last queued task is dropped.
    std::weak_ptr<SessionStore> weakStore = store_;
    std::weak_ptr<PhoneLink> weakPhone = phone_;
    std::weak_ptr<UsageStore> weakUsage = usage_;
    HookServer::Callbacks callbacks;
    callbacks.onEvent = [&main, weakStore, weakPhone](HookEvent event) {
        main.post([weakStore, weakPhone, event = std::move(event)] {
            const auto store = weakStore.lock();
            const auto phone = weakPhone.lock();
            if (!store || !phone) return;
            phone->sessionMoved(event);
            phone->noteProject(event.cwd);
            if (event.name == "SessionEnd") phone->dropQueue(event.sessionId);
            store->handle(event);
        });
    };
    callbacks.onPermission = [&main, weakPhone](HookEvent event, HookServer::Reply reply) {
        main.post([weakPhone, event = std::move(event), reply = std::move(reply)] {
            if (const auto phone = weakPhone.lock()) phone->request(event, reply);
        });
    };
    callbacks.onStop = [&main, weakStore, weakPhone, weakUsage](HookEvent event,
                                                                HookServer::Reply reply) {
        main.post([&main, weakStore, weakPhone, weakUsage, event = std::move(event),
                   reply = std::move(reply)] {
            const auto store = weakStore.lock();
            const auto phone = weakPhone.lock();
            const auto usage = weakUsage.lock();
            if (!store || !phone || !usage) return;
            phone->sessionMoved(event);
            phone->noteProject(event.cwd);
            if (auto prompt = phone->handOver(event.sessionId)) {
                // A stop that waited too long for us has been given up by its hook command, and
                // Claude Code stopped without the prompts: they wait for the session's next stop.
                auto undelivered = [&main, weakStore, weakPhone, event, prompt = *prompt] {
                    main.post([weakStore, weakPhone, event, prompt] {
                        const auto store = weakStore.lock();
                        const auto phone = weakPhone.lock();
                        if (!store || !phone || !store->session(event.sessionId)) return;
                        phone->putBack(event.sessionId, prompt);
                        store->handle(event);
                    });
                };
                reply(blockAnswer(*prompt), std::move(undelivered));
                // The session goes on with the prompt: show it as its new turn, not as done.
                nlohmann::json submit = {{"hook_event_name", "UserPromptSubmit"},
                                         {"session_id", event.sessionId},
                                         {"prompt", *prompt}};
                if (event.cwd) submit["cwd"] = *event.cwd;
                if (auto next = HookEvent::fromJson(submit)) {
                    next->hostPID = event.hostPID;
                    store->handle(*next);
                }
            } else {
                store->handle(event);
                reply(std::nullopt);
            }
            usage->refresh(false);
        });
    };
    callbacks.onStatus = [weak, &main](std::string status) {
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

std::string AppDelegate::blockAnswer(const std::string& prompt) {
    const nlohmann::json answer = {{"decision", "block"}, {"reason", kPhonePromptIntro + prompt}};
    return answer.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

void AppDelegate::publishToPhone() {
    SessionFocus* focus = env_.focus;
    PhoneSnapshot::HostAppName hostAppName;
    if (focus) {
        hostAppName = [focus](std::optional<std::int32_t> pid) { return focus->hostAppName(pid); };
    }
    phone_->publish(PhoneSnapshot::snapshot(*store_, *usage_, phone_->hostName(),
                                            phone_->approvals(), phone_->queued(),
                                            phone_->projects(), *env_.clock, hostAppName));
}

void AppDelegate::focusSession(const std::string& sessionId) {
    const auto session = store_->session(sessionId);
    if (!session) return;
    FaceBeeper beeper(face_);
    if (!env_.focus) {
        beeper.beep();
        return;
    }
    env_.focus->bringForward(*session, beeper);
}

void AppDelegate::installHooks() {
    const auto installed = HookInstaller::install(env_.home);
    if (installed) {
        face_.alert(std::string(kConnectedAlertTitle), connectedAlertText(*installed));
    } else {
        face_.alert(std::string(kInstallFailedAlertTitle), installed.error().message);
    }
    face_.rebuildMenu();
}

void AppDelegate::uninstallHooks() {
    if (auto removed = HookInstaller::uninstall(env_.home); !removed) {
        face_.alert(std::string(kRemoveFailedAlertTitle), removed.error().message);
    }
    face_.rebuildMenu();
}

bool AppDelegate::hooksInstalled() const {
    return HookInstaller::isInstalled(env_.home);
}

bool AppDelegate::launchAtLogin() const {
    return env_.loginItem && env_.loginItem->enabled();
}

std::optional<std::string> AppDelegate::setLaunchAtLogin(bool on) {
    if (!env_.loginItem) return std::string("Open at login isn't available") + kLoginItemAdvice;
    if (auto changed = env_.loginItem->setEnabled(on); !changed) {
        return changed.error().message + kLoginItemAdvice;
    }
    return std::nullopt;
}

void AppDelegate::toggleLaunchAtLogin() {
    if (auto failure = setLaunchAtLogin(!launchAtLogin())) face_.alert(kLoginItemTitle, *failure);
    face_.rebuildMenu();
}

}  // namespace brimwick
