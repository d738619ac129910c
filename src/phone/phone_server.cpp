#include "phone/phone_server.h"

#include <algorithm>
#include <asio/io_context.hpp>
#include <asio/steady_timer.hpp>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <map>

#include "core/text.h"
#include "net/http_server.h"
#include "phone/phone_app_page.h"
#include "phone/phone_requests.h"
#include "platform/secure_random.h"

namespace brimwick {
namespace {

constexpr const char* kWrongCode = R"({"error":"Wrong pairing code"})";
constexpr const char* kEmptyOrTooLong = R"({"message":"Empty or too long"})";
constexpr double kNewSessionWindow = 60.0;
constexpr double kLongAgo = -1e300;

std::string response(const std::string& status, const std::string& body = {}) {
    return "HTTP/1.1 " + status +
           "\r\nConnection: close\r\nContent-Type: application/json\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + body;
}

// Compact JSON; text that is not valid UTF-8 is replaced rather than failing the whole body.
std::string compact(const nlohmann::json& value) {
    return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace

struct PhoneServer::State {
    Options options;
    Callbacks callbacks;
    const Clock* clock = nullptr;      // set at creation, outlives the server
    std::unique_ptr<HttpServer> http;  // main thread owns the pointer
    // The server thread's own view of its server, set before the thread starts: it must never
    // read `http`, which the main thread resets while stopping.
    asio::io_context* context = nullptr;
    std::atomic<std::uint16_t> boundPort{0};

    // Server thread only.
    std::string snapshot = "{}";
    long long version = 0;
    struct Waiter {
        std::shared_ptr<HttpResponder> responder;
        long long since;
    };
    std::map<HttpResponder*, Waiter> waiters;
    std::set<std::string> tokens;
    std::string code;
    std::size_t failedCodes = 0;
    std::map<std::string, Instant> watchEnds;                // by token
    std::map<std::string, std::deque<Instant>> newSessions;  // by token, within the last minute

    // Any thread.
    std::atomic<std::size_t> waiterCount{0};
    std::atomic<double> watchUntil{kLongAgo};  // the latest of watchEnds

    // Until when the phone with this token counts as watching.
    void watchUntilAt(const std::string& token, Instant end) {
        watchEnds[token] = end;
        Instant latest = kLongAgo;
        for (const auto& [t, e] : watchEnds) latest = std::max(latest, e);
        watchUntil = latest;
    }

    // A phone that closed its own waiting poll has left: it stops counting as watching soon,
    // unless it polls again. Other phones keep their own time.
    void phoneLeft(const std::string& token) {
        const auto it = watchEnds.find(token);
        if (it == watchEnds.end()) return;
        watchUntilAt(token, std::min(it->second, clock->now() + options.leftWindow));
    }

    // Whether this phone may ask for another new session now; the request counts if it may.
    bool mayStartSession(const std::string& token) {
        auto& recent = newSessions[token];
        const Instant now = clock->now();
        while (!recent.empty() && now - recent.front() >= kNewSessionWindow) recent.pop_front();
        if (recent.size() >= kMaxNewSessionsPerMinute) return false;
        recent.push_back(now);
        return true;
    }

    void answerWaiters(const std::function<bool(const Waiter&)>& which, const std::string& bytes) {
        for (auto it = waiters.begin(); it != waiters.end();) {
            if (which(it->second)) {
                it->second.responder->respond(bytes);
                it = waiters.erase(it);
            } else {
                ++it;
            }
        }
        waiterCount = waiters.size();
    }
};

std::shared_ptr<PhoneServer> PhoneServer::create(std::string hostName, std::set<std::string> tokens,
                                                 std::string code, Callbacks callbacks,
                                                 const Clock& clock, Options options) {
    std::shared_ptr<PhoneServer> server(
        new PhoneServer(std::move(hostName), std::move(callbacks), std::move(options)));
    server->state_->clock = &clock;
    server->state_->tokens = std::move(tokens);
    server->state_->code = std::move(code);
    return server;
}

std::shared_ptr<PhoneServer> PhoneServer::create(std::string hostName, std::set<std::string> tokens,
                                                 std::string code, Callbacks callbacks,
                                                 const Clock& clock) {
    return create(std::move(hostName), std::move(tokens), std::move(code), std::move(callbacks),
                  clock, Options());
}

PhoneServer::PhoneServer(std::string hostName, Callbacks callbacks, Options options)
    : hostName_(std::move(hostName)), state_(std::make_shared<State>()) {
    state_->options = std::move(options);
    state_->callbacks = std::move(callbacks);
}

PhoneServer::~PhoneServer() {
    stop();
}

std::uint16_t PhoneServer::parsePort(const char* value) {
    long long port = 0;
    if (!value || !parseDecimal(value, port) || value[0] == '-' || port > 65535) return 47822;
    return static_cast<std::uint16_t>(port);
}

std::uint16_t PhoneServer::defaultPort() {
    static const std::uint16_t port = parsePort(std::getenv("BRIMWICK_PHONE_PORT"));
    return port;
}

std::optional<std::string> PhoneServer::randomToken() {
    unsigned char bytes[32];
    if (!secureRandomBytes(bytes, sizeof bytes)) return std::nullopt;
    std::string token;
    char hex[3];
    for (unsigned char byte : bytes) {
        std::snprintf(hex, sizeof hex, "%02x", byte);
        token += hex;
    }
    return token;
}

Result<void> PhoneServer::start() {
    if (state_->http) return {};
    HttpServerOptions http;
    http.address = state_->options.address;
    http.fallbackAddresses = state_->options.fallbackAddresses;
    http.port = state_->options.port;
    http.headerTimeout = state_->options.headerTimeout;
    http.requestTimeout = state_->options.requestTimeout;
    http.maxConnections = state_->options.maxConnections;
    http.maxConnectionsPerPeer = state_->options.maxConnectionsPerPeer;
    http.maxBufferedBytes = kMaxBufferedBytes;
    http.badRequestResponse = response("400 Bad Request");
    http.watchHeldConnections = true;
    std::weak_ptr<PhoneServer> weak = weak_from_this();
    auto server = std::make_unique<HttpServer>(
        std::move(http),
        [weak](HttpRequest request, std::shared_ptr<HttpResponder> responder) {
            if (auto self = weak.lock()) self->route(std::move(request), std::move(responder));
        },
        [weak](const std::string& error) {
            auto self = weak.lock();
            if (self && self->state_->callbacks.onStatus) {
                self->state_->callbacks.onStatus("Port " +
                                                 std::to_string(self->state_->boundPort.load()) +
                                                 " unavailable (" + error + ")");
            }
        });
    state_->context = &server->context();
    auto started = server->start();
    if (!started) return started;
    state_->boundPort = server->port();
    state_->http = std::move(server);
    const auto port = state_->http->port();
    if (state_->options.advertise) state_->options.advertise(port);
    state_->http->post([weak, port] {
        auto self = weak.lock();
        if (self && self->state_->callbacks.onStatus) {
            self->state_->callbacks.onStatus("Listening on port " + std::to_string(port));
        }
    });
    return {};
}

void PhoneServer::stop() {
    if (!state_->http) return;
    // Ends the thread: waiting polls are closed without an answer.
    state_->http.reset();
    state_->waiters.clear();
    state_->waiterCount = 0;
    if (state_->options.withdraw) state_->options.withdraw();
}

std::uint16_t PhoneServer::port() const {
    return state_->http ? state_->http->port() : 0;
}

void PhoneServer::publish(nlohmann::json snapshot) {
    if (!state_->http) return;
    state_->http->post([state = state_, snapshot = std::move(snapshot)]() mutable {
        state->version += 1;
        if (!snapshot.is_object()) snapshot = nlohmann::json::object();
        snapshot["version"] = state->version;
        state->snapshot = compact(snapshot);
        const auto bytes = response("200 OK", state->snapshot);
        const auto version = state->version;
        state->answerWaiters([version](const State::Waiter& w) { return w.since != version; },
                             bytes);
    });
}

void PhoneServer::setTokens(std::set<std::string> tokens) {
    if (!state_->http) {
        state_->tokens = std::move(tokens);
        return;
    }
    state_->http->post([state = state_, tokens = std::move(tokens)]() mutable {
        state->tokens = std::move(tokens);
        state->answerWaiters([](const State::Waiter&) { return true; },
                             response("401 Unauthorized"));
    });
}

void PhoneServer::setCode(std::string code) {
    if (!state_->http) {
        state_->code = std::move(code);
        state_->failedCodes = 0;
        return;
    }
    state_->http->post([state = state_, code = std::move(code)]() mutable {
        state->code = std::move(code);
        state->failedCodes = 0;
    });
}

bool PhoneServer::phoneIsWatching() const {
    return state_->waiterCount > 0 || state_->clock->now() < state_->watchUntil.load();
}

std::size_t PhoneServer::waitingPolls() const {
    return state_->waiterCount;
}

void PhoneServer::route(HttpRequest request, std::shared_ptr<HttpResponder> responder) {
    State& s = *state_;
    const auto target = phone_requests::splitTarget(request.path);
    const auto& method = request.method;
    const auto& path = target.path;

    // The browser page for phones: open to anyone, like "/"; it holds no secrets.
    if (method == "GET" && path == "/app") {
        responder->respond(phoneAppResponse());
        return;
    }
    const bool known = (method == "POST" && (path == "/pair" || path == "/decide" ||
                                             path == "/prompt" || path == "/new")) ||
                       (method == "GET" && (path == "/status" || path == "/"));
    if (!known) {
        responder->respond(response("404 Not Found"));
        return;
    }
    if (path == "/") {
        responder->respond(response("200 OK", R"({"app":"Brimwick"})"));
        return;
    }
    if (path == "/pair") {
        pair(request, *responder);
        return;
    }

    const std::string* authorization = request.header("authorization");
    const bool bearer = authorization && authorization->starts_with("Bearer ");
    const std::string token = bearer ? authorization->substr(7) : std::string();
    if (!bearer || !phone_requests::knownToken(token, s.tokens)) {
        responder->respond(response("401 Unauthorized"));
        return;
    }
    if (path == "/status") {
        poll(token, target.query, std::move(responder));
    } else if (path == "/decide") {
        decide(request, std::move(responder));
    } else {
        forward(path == "/prompt", token, request, std::move(responder));
    }
}

void PhoneServer::pair(const HttpRequest& request, HttpResponder& responder) {
    State& s = *state_;
    const auto body = phone_requests::parsePair(request.body);
    if (!body) {
        responder.respond(response("400 Bad Request"));
        return;
    }
    if (!phone_requests::codeMatches(body->code, s.code)) {
        if (++s.failedCodes >= kMaxFailedCodes) {
            s.failedCodes = 0;
            s.code.clear();
            if (s.callbacks.onCodeBurned) s.callbacks.onCodeBurned();
        }
        responder.respond(response("403 Forbidden", kWrongCode));
        return;
    }
    const std::string name = phone_requests::deviceName(body->device, kMaxDeviceName);
    const auto drawn = randomToken();
    if (!drawn) {
        // The code stays valid: the phone may try again.
        responder.respond(response("503 Service Unavailable"));
        return;
    }
    const std::string& token = *drawn;
    s.tokens.insert(token);
    s.code.clear();
    if (s.callbacks.onPaired) s.callbacks.onPaired(token, name);
    responder.respond(response("200 OK", compact({{"token", token}, {"host", hostName_}})));
}

void PhoneServer::poll(const std::string& token, const std::string& query,
                       std::shared_ptr<HttpResponder> responder) {
    State& s = *state_;
    s.watchUntilAt(token, s.clock->now() + s.options.watchWindow);
    const long long since = phone_requests::sinceVersion(query);
    if (since != s.version) {
        responder->respond(response("200 OK", s.snapshot));
        return;
    }
    HttpResponder* key = responder.get();
    s.waiters[key] = {responder, since};
    s.waiterCount = s.waiters.size();
    std::weak_ptr<State> weakState = state_;
    responder->onClose([weakState, key, token] {
        if (auto state = weakState.lock()) {
            state->phoneLeft(token);  // before the count drops: tests wait for that
            state->waiters.erase(key);
            state->waiterCount = state->waiters.size();
        }
    });
    auto timer = std::make_shared<asio::steady_timer>(*s.context);
    timer->expires_after(std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(s.options.longPollHold)));
    timer->async_wait([weakState, key, timer,
                       responder = std::weak_ptr(responder)](const std::error_code& error) {
        auto state = weakState.lock();
        if (error || !state) return;
        const auto it = state->waiters.find(key);
        // The same key may belong to a newer poll if the allocator reused the address.
        if (it == state->waiters.end() || it->second.responder != responder.lock()) return;
        it->second.responder->respond(response("200 OK", state->snapshot));
        state->waiters.erase(it);
        state->waiterCount = state->waiters.size();
    });
}

void PhoneServer::decide(const HttpRequest& request, std::shared_ptr<HttpResponder> responder) {
    auto body = phone_requests::parseDecide(request.body);
    if (!body) {
        responder->respond(response("400 Bad Request"));
        return;
    }
    Reply reply = [responder](bool ok, std::string message) {
        responder->respond(
            ok ? response("202 Accepted")
               : response("409 Conflict", compact({{"message", std::move(message)}})));
    };
    if (state_->callbacks.onDecide) {
        state_->callbacks.onDecide(std::move(body->id), std::move(body->decision),
                                   std::move(reply));
    } else {
        reply(false, "");
    }
}

void PhoneServer::forward(bool prompt, const std::string& token, const HttpRequest& request,
                          std::shared_ptr<HttpResponder> responder) {
    auto body = phone_requests::parseForward(prompt, request.body, kMaxPromptLength);
    if (!body) {
        responder->respond(response("400 Bad Request", kEmptyOrTooLong));
        return;
    }
    if (!prompt && !state_->mayStartSession(token)) {
        responder->respond(
            response("429 Too Many Requests", compact({{"message", kTooManyNewSessions}})));
        return;
    }
    Reply reply = [responder](bool ok, std::string message) {
        responder->respond(response(ok ? "202 Accepted" : "409 Conflict",
                                    compact({{"message", std::move(message)}})));
    };
    auto& callback = prompt ? state_->callbacks.onPrompt : state_->callbacks.onNewSession;
    if (callback) {
        callback(std::move(body->key), std::move(body->text), std::move(reply));
    } else {
        reply(false, "");
    }
}

}  // namespace brimwick
