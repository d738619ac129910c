#include "phone/phone_link.h"

#include <sys/random.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>

#include "core/text.h"
#include "platform/host_name.h"
#include "platform/network_address.h"
#include "platform/service_advertiser_avahi.h"
#include "sessions/session_launcher.h"

namespace brimwick {
namespace {

using nlohmann::json;

std::uint32_t secureRandom32() {
    std::uint32_t value = 0;
    auto* bytes = reinterpret_cast<unsigned char*>(&value);
    std::size_t filled = 0;
    while (filled < sizeof value) {
        const ssize_t n = ::getrandom(bytes + filled, sizeof value - filled, 0);
        if (n > 0) filled += static_cast<std::size_t>(n);
    }
    return value;
}

std::string lowercased(std::string text) {
    for (auto& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

// A stored map of texts; anything else (including one value of another type) counts as empty.
std::map<std::string, std::string> textMap(const std::optional<json>& stored) {
    std::map<std::string, std::string> out;
    if (!stored || !stored->is_object()) return out;
    for (const auto& [key, value] : stored->items()) {
        if (!value.is_string()) return {};
        out.emplace(key, value.get<std::string>());
    }
    return out;
}

std::vector<std::string> textList(const std::optional<json>& stored) {
    std::vector<std::string> out;
    if (!stored || !stored->is_array()) return out;
    for (const auto& value : *stored) {
        if (!value.is_string()) return {};
        out.push_back(value.get<std::string>());
    }
    return out;
}

bool movesPastPermission(const std::string& hookName) {
    static const std::set<std::string> names = {
        "PreToolUse",       "PostToolUse", "PostToolUseFailure", "PostToolBatch",
        "UserPromptSubmit", "Stop",        "StopFailure",        "SessionEnd"};
    return names.count(hookName) > 0;
}

}  // namespace

PhoneLink::Services PhoneLink::Services::real() {
    Services services;
    // One advertiser for every server of the run; it outlives them through the captures.
    auto advertiser = std::make_shared<AvahiServiceAdvertiser>();
    services.makeServer = [advertiser](std::string hostName, std::set<std::string> tokens,
                                       std::string code, PhoneServer::Callbacks callbacks) {
        PhoneServer::Options options;
        options.advertise = [advertiser, hostName](std::uint16_t port) {
            advertiser->advertise(hostName, "_brimwick._tcp", port, {{"v", "1"}});
        };
        options.withdraw = [advertiser] { advertiser->withdraw(); };
        return PhoneServer::create(std::move(hostName), std::move(tokens), std::move(code),
                                   std::move(callbacks), std::move(options));
    };
    services.localAddress = [] { return localIPv4(); };
    services.newCode = &PhoneLink::securePairingCode;
    services.random = std::make_shared<SystemRandomSource>();
    services.launchSession = [](const std::string& folder, const std::string& prompt) {
        return SessionLauncher::open(folder, prompt);
    };
    services.isDirectory = [](const std::string& path) {
        std::error_code ignored;
        return std::filesystem::is_directory(path, ignored);
    };
    services.hostName = localHostName();
    return services;
}

std::shared_ptr<PhoneLink> PhoneLink::create(MainQueue& queue, const Clock& clock,
                                             Preferences& preferences, Services services) {
    std::shared_ptr<PhoneLink> link(new PhoneLink(queue, clock, preferences, std::move(services)));
    if (link->enabled_) link->start();
    return link;
}

PhoneLink::PhoneLink(MainQueue& queue, const Clock& clock, Preferences& preferences,
                     Services services)
    : queue_(queue), clock_(clock), preferences_(preferences), services_(std::move(services)) {
    const bool needsReal = !services_.makeServer || !services_.localAddress || !services_.newCode ||
                           !services_.random || !services_.launchSession || !services_.isDirectory;
    if (needsReal) {
        auto real = Services::real();
        if (!services_.makeServer) services_.makeServer = std::move(real.makeServer);
        if (!services_.localAddress) services_.localAddress = std::move(real.localAddress);
        if (!services_.newCode) services_.newCode = std::move(real.newCode);
        if (!services_.random) services_.random = std::move(real.random);
        if (!services_.launchSession) services_.launchSession = std::move(real.launchSession);
        if (!services_.isDirectory) services_.isDirectory = std::move(real.isDirectory);
    }
    if (!services_.hostName) services_.hostName = localHostName();
    hostName_ = services_.hostName && !services_.hostName->empty() ? *services_.hostName : "Mac";

    enabled_ = preferences_.boolValue(kEnabledKey, false);
    approveFromPhone_ = preferences_.boolValue(kApprovalsKey, true);
    loadDevicesAndProjects();
}

// The stored lists are cleaned as they are read: a file written by an older version (or by
// someone else) may hold names or folders no pairing or session could produce today.
void PhoneLink::loadDevicesAndProjects() {
    const auto storedDevices = textMap(preferences_.value(kDevicesKey));
    for (const auto& [token, name] : storedDevices) {
        if (token.size() > kMaxTokenBytes) continue;
        devices_[token] = text::prefix(text::displayable(name), PhoneServer::kMaxDeviceName);
    }
    const auto storedProjects = textList(preferences_.value(kProjectsKey));
    for (const auto& path : storedProjects) {
        if (projects_.size() == kMaxProjects) break;
        if (!path.empty() && path.size() <= HookEvent::kMaxPathBytes) projects_.push_back(path);
    }
    if (devices_ != storedDevices) {
        json stored = json::object();
        for (const auto& [t, name] : devices_) stored[t] = name;
        preferences_.setValue(kDevicesKey, stored);
    }
    if (projects_ != storedProjects) preferences_.setValue(kProjectsKey, projects_);
}

PhoneLink::~PhoneLink() {
    // Claude Code must not wait for answers that can no longer come.
    for (auto& [id, approval] : approvals_) {
        if (approval.reply) approval.reply(std::nullopt);
    }
    for (auto& [id, timer] : expiries_) timer.cancel();
    justPairedTimer_.cancel();
    if (server_) server_->stop();
}

std::uint16_t PhoneLink::port() const {
    const auto bound = server_ ? server_->port() : 0;
    return bound != 0 ? bound : PhoneServer::defaultPort();
}

std::vector<std::string> PhoneLink::deviceNames() const {
    std::vector<std::string> names;
    for (const auto& [token, name] : devices_) names.push_back(name);
    std::sort(names.begin(), names.end());
    return names;
}

std::string PhoneLink::percentEncoded(const std::string& text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const unsigned char c : text) {
        const bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                                (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' ||
                                c == '~';
        if (unreserved) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
        }
    }
    return out;
}

std::optional<std::string> PhoneLink::pairingURL() const {
    if (!enabled_ || code_.empty() || !address_) return std::nullopt;
    return "brimwick://pair?host=" + percentEncoded(*address_) + "&port=" + std::to_string(port()) +
           "&code=" + percentEncoded(code_) + "&name=" + percentEncoded(hostName_);
}

std::string PhoneLink::securePairingCode() {
    // Rejection sampling keeps every one of the million codes equally likely.
    constexpr std::uint64_t kCodes = 1'000'000;
    constexpr std::uint64_t kRange = std::uint64_t(1) << 32;
    constexpr std::uint64_t kAccepted = kRange - kRange % kCodes;
    std::uint64_t value = secureRandom32();
    while (value >= kAccepted) value = secureRandom32();
    char text[8];
    std::snprintf(text, sizeof text, "%06u", static_cast<unsigned>(value % kCodes));
    return text;
}

// MARK: switching on and off

PhoneServer::Callbacks PhoneLink::serverCallbacks() {
    std::weak_ptr<PhoneLink> weak = weak_from_this();
    MainQueue* queue = &queue_;
    const auto generation = serverGeneration_;
    PhoneServer::Callbacks callbacks;
    callbacks.onPaired = [weak, queue](std::string token, std::string device) {
        queue->post([weak, token = std::move(token), device = std::move(device)] {
            if (auto self = weak.lock()) self->paired(token, device);
        });
    };
    callbacks.onCodeBurned = [weak, queue, generation] {
        queue->post([weak, generation] {
            auto self = weak.lock();
            if (self && self->serverGeneration_ == generation && self->server_) self->codeBurned();
        });
    };
    callbacks.onDecide = [weak, queue](std::string id, std::string decision,
                                       PhoneServer::Reply reply) {
        queue->post(
            [weak, id = std::move(id), decision = std::move(decision), reply = std::move(reply)] {
                auto self = weak.lock();
                if (!self) {
                    reply(false, kNotReady);
                    return;
                }
                const auto outcome = self->decide(id, decision);
                reply(outcome.ok, outcome.message);
            });
    };
    callbacks.onPrompt = [weak, queue](std::string sessionId, std::string text,
                                       PhoneServer::Reply reply) {
        queue->post([weak, sessionId = std::move(sessionId), text = std::move(text),
                     reply = std::move(reply)] {
            auto self = weak.lock();
            if (!self || !self->onPrompt) {
                reply(false, kNotReady);
                return;
            }
            const auto outcome = self->onPrompt(sessionId, text);
            reply(outcome.ok, outcome.message);
        });
    };
    callbacks.onNewSession = [weak, queue](std::string folder, std::string text,
                                           PhoneServer::Reply reply) {
        queue->post(
            [weak, folder = std::move(folder), text = std::move(text), reply = std::move(reply)] {
                auto self = weak.lock();
                if (!self) {
                    reply(false, kNotReady);
                    return;
                }
                const auto outcome = self->startSession(folder, text);
                reply(outcome.ok, outcome.message);
            });
    };
    callbacks.onStatus = [weak, queue, generation](std::string status) {
        queue->post([weak, generation, status = std::move(status)] {
            auto self = weak.lock();
            // A server that was stopped or replaced no longer speaks for the link.
            if (!self || self->serverGeneration_ != generation || !self->server_) return;
            self->listenerStatus_ = status;
            if (self->status_ == status) return;
            self->status_ = status;
            self->notify();
        });
    };
    return callbacks;
}

void PhoneLink::start() {
    code_ = services_.newCode();
    address_ = services_.localAddress();
    status_ = kStarting;
    ++serverGeneration_;
    std::set<std::string> tokens;
    for (const auto& [token, name] : devices_) tokens.insert(token);
    auto server = services_.makeServer(hostName_, std::move(tokens), code_, serverCallbacks());
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
    releaseAll();
    ++serverGeneration_;
    if (server_) server_->stop();
    server_.reset();
    code_.clear();
    status_.clear();
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
    notify();
}

void PhoneLink::setApproveFromPhone(bool on) {
    if (on == approveFromPhone_) return;
    approveFromPhone_ = on;
    preferences_.setValue(kApprovalsKey, on);
    if (!on) releaseAll();
    notify();
}

void PhoneLink::forgetDevices() {
    if (!devices_.empty()) {
        devices_.clear();
        preferences_.setValue(kDevicesKey, json::object());
    }
    // Ends every long poll even when nothing was stored: the server may know a fresh token.
    if (server_) server_->setTokens({});
    notify();
}

// MARK: pairing

void PhoneLink::issueCode() {
    if (!enabled_) return;  // no code is valid while the link is off
    // A fresh code ends a pause: the status goes back to what the listener last said.
    if (status_ == kPaused) status_ = listenerStatus_;
    code_ = services_.newCode();
    if (server_) server_->setCode(code_);
    address_ = services_.localAddress();
    notify();
}

void PhoneLink::newCode() {
    burnedCodes_ = 0;
    issueCode();
}

void PhoneLink::codeBurned() {
    burnedCodes_ += 1;
    if (burnedCodes_ < kBurnsBeforePause) {
        issueCode();
        return;
    }
    code_.clear();
    if (server_) server_->setCode("");
    status_ = kPaused;
    notify();
}

void PhoneLink::paired(const std::string& token, const std::string& device) {
    devices_[token] = device;
    json stored = json::object();
    for (const auto& [t, name] : devices_) stored[t] = name;
    preferences_.setValue(kDevicesKey, stored);
    if (!enabled_ || !server_) {
        // A pairing that raced with switching off: keep the phone, issue nothing.
        notify();
        return;
    }
    burnedCodes_ = 0;
    issueCode();
    justPaired_ = device;
    notify();
    // A second pairing within the success time gets its full time too.
    justPairedTimer_.cancel();
    std::weak_ptr<PhoneLink> weak = weak_from_this();
    justPairedTimer_ = queue_.after(kJustPairedTime, [weak] {
        auto self = weak.lock();
        if (!self) return;
        if (self->closePairingWindow) self->closePairingWindow();
        self->justPaired_.reset();
        self->notify();
    });
}

// MARK: permission requests

std::string PhoneLink::newApprovalId() {
    std::string id;
    do {
        id = lowercased(services_.random->uuidString().substr(0, 8));
    } while (approvals_.count(id));
    return id;
}

std::optional<std::string> PhoneLink::request(const HookEvent& event, HookServer::Reply reply) {
    if (!enabled_ || !approveFromPhone_ || devices_.empty() || !server_ ||
        !server_->phoneIsWatching()) {
        reply(std::nullopt);
        return std::nullopt;
    }
    // One request per session waits for the phone: the newer one replaces the older.
    std::vector<std::string> older;
    for (const auto& [id, approval] : approvals_) {
        if (approval.sessionId == event.sessionId) older.push_back(id);
    }
    for (const auto& id : older) resolve(id, std::nullopt);

    PendingApproval approval;
    approval.id = newApprovalId();
    approval.sessionId = event.sessionId;
    approval.tool = event.toolName.value_or(kDefaultTool);
    approval.detail = event.toolDetail;
    approval.suggestions = event.permissionSuggestions;
    approval.expiresAt = clock_.now() + kApprovalWait;
    approval.reply = std::move(reply);
    const auto id = approval.id;
    approvals_.emplace(id, std::move(approval));

    std::weak_ptr<PhoneLink> weak = weak_from_this();
    expiries_[id] = queue_.after(kApprovalWait, [weak, id] {
        if (auto self = weak.lock()) self->resolve(id, std::nullopt);
    });
    notify();
    return id;
}

std::optional<std::string> PhoneLink::decisionAnswer(
    const std::string& decision, const std::optional<std::vector<json>>& suggestions) {
    json object;
    if (decision == "allow") {
        object = {{"behavior", "allow"}};
    } else if (decision == "always") {
        object = {{"behavior", "allow"}};
        if (suggestions && !suggestions->empty()) object["updatedPermissions"] = *suggestions;
    } else if (decision == "deny") {
        object = {{"behavior", "deny"}, {"message", kDenied}};
    } else {
        return std::nullopt;
    }
    const json answer = {
        {"hookSpecificOutput", {{"hookEventName", "PermissionRequest"}, {"decision", object}}}};
    try {
        return answer.dump();
    } catch (const json::exception&) {
        return std::nullopt;  // e.g. a suggestion carrying invalid UTF-8
    }
}

PhoneLink::Outcome PhoneLink::decide(const std::string& approvalId, const std::string& decision) {
    const auto it = approvals_.find(approvalId);
    if (it == approvals_.end()) return {false, kNoLongerWaiting};
    resolve(approvalId, decisionAnswer(decision, it->second.suggestions));
    return {true, ""};
}

void PhoneLink::withdraw(const std::string& approvalId) {
    resolve(approvalId, std::nullopt);
}

void PhoneLink::resolve(const std::string& approvalId, std::optional<std::string> data) {
    // A copy: the caller's text may be the very key erased below (approvals().begin()->first).
    const std::string id = approvalId;
    const auto it = approvals_.find(id);
    if (it == approvals_.end()) return;
    auto reply = std::move(it->second.reply);
    approvals_.erase(it);
    if (const auto timer = expiries_.find(id); timer != expiries_.end()) {
        timer->second.cancel();
        expiries_.erase(timer);
    }
    if (reply) reply(std::move(data));
    notify();
}

void PhoneLink::releaseAll() {
    std::vector<std::string> ids;
    for (const auto& [id, approval] : approvals_) ids.push_back(id);
    for (const auto& id : ids) resolve(id, std::nullopt);
}

void PhoneLink::releaseSession(const std::string& sessionId) {
    std::vector<std::string> ids;
    for (const auto& [id, approval] : approvals_) {
        if (approval.sessionId == sessionId) ids.push_back(id);
    }
    for (const auto& id : ids) resolve(id, std::nullopt);
}

void PhoneLink::sessionMoved(const HookEvent& event) {
    if (movesPastPermission(event.name)) releaseSession(event.sessionId);
}

// MARK: projects

void PhoneLink::noteProject(const std::optional<std::string>& cwd) {
    if (!cwd || cwd->empty()) return;
    if (!projects_.empty() && projects_.front() == *cwd) return;
    std::vector<std::string> list = {*cwd};
    for (const auto& path : projects_) {
        if (path != *cwd && list.size() < kMaxProjects) list.push_back(path);
    }
    projects_ = std::move(list);
    preferences_.setValue(kProjectsKey, projects_);
    notify();
}

// MARK: prompts and new sessions

void PhoneLink::dropQueue(const std::string& sessionId) {
    if (queued_.erase(sessionId)) notify();
}

std::optional<std::string> PhoneLink::handOver(const std::string& sessionId) {
    const auto it = queued_.find(sessionId);
    if (it == queued_.end()) return std::nullopt;
    const auto prompts = std::move(it->second);
    queued_.erase(it);
    notify();
    if (prompts.empty()) return std::nullopt;
    std::string joined = prompts.front();
    for (std::size_t i = 1; i < prompts.size(); ++i) joined += kPromptSeparator + prompts[i];
    return joined;
}

void PhoneLink::putBack(const std::string& sessionId, const std::string& handedOver) {
    auto& prompts = queued_[sessionId];
    prompts.insert(prompts.begin(), handedOver);
    notify();
}

PhoneLink::Outcome PhoneLink::queuePrompt(const std::string& text,
                                          const std::optional<AgentSession>& session) {
    if (!session) return {false, kSessionEnded};
    queued_[session->id].push_back(text);
    notify();
    switch (session->state) {
        case BotState::greeting:
        case BotState::idle:
        case BotState::finished:
        case BotState::sleeping:
            return {true,
                    session->project + " is idle, so it gets this after its next turn on the Mac."};
        case BotState::question:
            return {true, session->project + " gets this once its question is answered."};
        case BotState::thinking:
        case BotState::working:
        case BotState::searching:
        case BotState::approval:
        case BotState::error:
            break;
    }
    return {true, session->project + " gets this when its current turn ends."};
}

PhoneLink::Outcome PhoneLink::startSession(const std::string& path, const std::string& prompt) {
    // Only folders that sessions used lately may be opened from the phone.
    const bool known = std::find(projects_.begin(), projects_.end(), path) != projects_.end();
    if (!known || !services_.isDirectory(path)) return {false, kUnknownFolder};
    auto launched = services_.launchSession(path, prompt);
    if (!launched) return {false, "Couldn't open Terminal: " + launched.error().message};
    return {true, "Starting a new session in " + PhoneSnapshot::folderName(path) + " in Terminal."};
}

void PhoneLink::publish(nlohmann::json snapshot) {
    lastSnapshot_ = std::move(snapshot);
    if (server_) server_->publish(lastSnapshot_);
}

}  // namespace brimwick
