#include "phone/phone_link.h"

#include "core/shared_texts.h"
#include "core/text.h"

namespace brimwick {
namespace {

// Runs `work` on the main thread for a link that may be gone by then; the reply learns that.
template <typename Work>
void onMain(MainQueue& queue, std::weak_ptr<PhoneLink> weak, PhoneServer::Reply reply, Work work) {
    queue.post([weak, reply = std::move(reply), work = std::move(work)] {
        auto self = weak.lock();
        const Outcome outcome = self ? work(*self) : Outcome{false, shared_text::kNotReady};
        reply(outcome.ok, outcome.message);
    });
}

}  // namespace

std::shared_ptr<PhoneLink> PhoneLink::create(MainQueue& queue, Preferences& preferences,
                                             std::shared_ptr<ApprovalGate> gate,
                                             Services services) {
    std::shared_ptr<PhoneLink> link(
        new PhoneLink(queue, preferences, std::move(gate), std::move(services)));
    std::weak_ptr<PhoneLink> weak = link;
    link->gate_->addAnswerer([weak] {
        auto self = weak.lock();
        return self && self->canAnswer();
    });
    if (link->enabled_) link->start();
    return link;
}

PhoneLink::PhoneLink(MainQueue& queue, Preferences& preferences, std::shared_ptr<ApprovalGate> gate,
                     Services services)
    : queue_(queue),
      preferences_(preferences),
      gate_(std::move(gate)),
      services_(std::move(services)),
      pairing_(Pairing::create(queue, preferences, services_.newCode)),
      projects_(preferences, services_.launchSession, services_.isDirectory),
      enabled_(preferences.boolValue(kEnabledKey, false)),
      approveFromPhone_(preferences.boolValue(kApprovalsKey, true)) {
    for (Signal<>* part : {&pairing_->changed, &prompts_.changed, &projects_.changed}) {
        parts_.push_back(part->connect([this] { changed.emit(); }));
    }
}

PhoneLink::~PhoneLink() {
    if (server_) server_->stop();
}

const std::string& PhoneLink::status() const {
    static const std::string paused = Pairing::kPaused;
    return pairing_->paused() ? paused : status_;
}

std::uint16_t PhoneLink::port() const {
    const auto bound = server_ ? server_->port() : 0;
    return bound != 0 ? bound : PhoneServer::defaultPort();
}

bool PhoneLink::canAnswer() const {
    return enabled_ && approveFromPhone_ && !pairing_->devices().empty() && server_ &&
           server_->phoneIsWatching();
}

std::optional<std::string> PhoneLink::pairingURL() const {
    const std::string& code = pairing_->code();
    if (!enabled_ || code.empty() || !address_) return std::nullopt;
    return "brimwick://pair?host=" + text::percentEncoded(*address_) +
           "&port=" + std::to_string(port()) + "&code=" + text::percentEncoded(code) +
           "&name=" + text::percentEncoded(hostName());
}

PhoneServer::Callbacks PhoneLink::serverCallbacks() {
    std::weak_ptr<PhoneLink> weak = weak_from_this();
    MainQueue* queue = &queue_;
    const auto generation = serverGeneration_;
    // A server that was stopped or replaced no longer speaks for the link.
    const auto current = [generation](const PhoneLink& link) {
        return link.serverGeneration_ == generation && link.server_;
    };
    PhoneServer::Callbacks callbacks;
    callbacks.onPaired = [weak, queue](std::string token, std::string device) {
        queue->post([weak, token = std::move(token), device = std::move(device)] {
            auto self = weak.lock();
            if (!self) return;
            const bool serving = self->enabled_ && self->server_;
            self->pairing_->paired(token, device, serving);
            if (serving) {
                self->address_ = self->services_.localAddress();
                self->sendCodeToServer();
            }
        });
    };
    callbacks.onCodeBurned = [weak, queue, current] {
        queue->post([weak, current] {
            auto self = weak.lock();
            if (!self || !current(*self)) return;
            self->pairing_->codeBurned();
            if (!self->pairing_->paused()) self->address_ = self->services_.localAddress();
            self->sendCodeToServer();
        });
    };
    callbacks.onDecide = [weak, queue](std::string id, std::string decision,
                                       PhoneServer::Reply reply) {
        onMain(*queue, weak, std::move(reply),
               [id = std::move(id), decision = std::move(decision)](PhoneLink& self) {
                   return self.gate_->decide(id, decision);
               });
    };
    callbacks.onPrompt = [weak, queue](std::string sessionId, std::string text,
                                       PhoneServer::Reply reply) {
        onMain(*queue, weak, std::move(reply),
               [sessionId = std::move(sessionId), text = std::move(text)](PhoneLink& self) {
                   return self.onPrompt ? self.onPrompt(sessionId, text)
                                        : Outcome{false, shared_text::kNotReady};
               });
    };
    callbacks.onNewSession = [weak, queue](std::string folder, std::string text,
                                           PhoneServer::Reply reply) {
        onMain(*queue, weak, std::move(reply),
               [folder = std::move(folder), text = std::move(text)](PhoneLink& self) {
                   return self.projects_.start(folder, text);
               });
    };
    callbacks.onStatus = [weak, queue, current](std::string status) {
        queue->post([weak, current, status = std::move(status)] {
            auto self = weak.lock();
            if (!self || !current(*self) || self->status_ == status) return;
            self->status_ = status;
            self->changed.emit();
        });
    };
    return callbacks;
}

void PhoneLink::start() {
    address_ = services_.localAddress();
    status_ = shared_text::kStarting;
    ++serverGeneration_;
    pairing_->issueCode();
    auto server =
        services_.makeServer(hostName(), pairing_->tokens(), pairing_->code(), serverCallbacks());
    if (!server) {
        status_ = "Couldn't open port " + std::to_string(PhoneServer::defaultPort()) +
                  ": the phone server could not be created";
        return;
    }
    auto started = server->start();
    if (!started) {
        status_ = "Couldn't open port " + std::to_string(PhoneServer::defaultPort()) + ": " +
                  started.error().message;
        server->stop();
        return;
    }
    server_ = std::move(server);
    // A phone gets the current state before the next change comes along.
    server_->publish(lastSnapshot_);
}

void PhoneLink::stop() {
    ++serverGeneration_;
    if (server_) server_->stop();
    server_.reset();
    pairing_->withdrawCode();
    status_.clear();
    gate_->answerersChanged();
}

void PhoneLink::sendCodeToServer() {
    if (server_) server_->setCode(pairing_->code());
}

void PhoneLink::setEnabled(bool on) {
    if (on == enabled_) return;
    enabled_ = on;
    preferences_.setValue(kEnabledKey, on);
    if (on) {
        start();
    } else {
        stop();
    }
    changed.emit();
}

void PhoneLink::setApproveFromPhone(bool on) {
    if (on == approveFromPhone_) return;
    approveFromPhone_ = on;
    preferences_.setValue(kApprovalsKey, on);
    if (!on) gate_->answerersChanged();
    changed.emit();
}

void PhoneLink::forgetDevices() {
    pairing_->forget();
    // Ends every long poll even when nothing was stored: the server may know a fresh token.
    if (server_) server_->setTokens({});
    changed.emit();
}

void PhoneLink::issueCode() {
    if (!enabled_) return;  // no code is valid while the link is off
    pairing_->issueCode();
    sendCodeToServer();
    address_ = services_.localAddress();
    changed.emit();
}

void PhoneLink::newCode() {
    if (!enabled_) return;
    pairing_->newCode();
    sendCodeToServer();
    address_ = services_.localAddress();
    changed.emit();
}

void PhoneLink::publish(nlohmann::json snapshot) {
    lastSnapshot_ = std::move(snapshot);
    if (server_) server_->publish(lastSnapshot_);
}

}  // namespace brimwick
