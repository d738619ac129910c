#include "hooks/hook_server.h"

#include <limits>
#include <mutex>

#include "core/text.h"

namespace brimwick {
namespace {

constexpr const char* kListening = "Brimwick is listening\n";

std::optional<HookEvent> decode(const HttpRequest& request) {
    auto event = HookEvent::fromBody(request.body);
    if (event) event->hostPID = HookServer::processId(request.header("x-claude-pid"));
    return event;
}

}  // namespace

// The hook command's leaving, told by the server thread and heard by whoever holds the reply.
struct HookServer::Reply::Departure {
    std::mutex mutex;
    bool left = false;
    std::function<void()> gone;

    void watch(std::function<void()> callback) {
        std::unique_lock lock(mutex);
        if (!left) {
            gone = std::move(callback);
            return;
        }
        lock.unlock();
        if (callback) callback();
    }

    void leave() {
        std::unique_lock lock(mutex);
        left = true;
        auto callback = std::move(gone);
        lock.unlock();
        if (callback) callback();
    }
};

void HookServer::Reply::onGone(std::function<void()> gone) const {
    if (departure_) departure_->watch(std::move(gone));
}

HookServer::HookServer(Callbacks callbacks, Options options) : callbacks_(std::move(callbacks)) {
    HttpServerOptions http;
    http.address = "127.0.0.1";
    http.port = options.port;
    http.headerTimeout = options.headerTimeout;
    http.requestTimeout = options.requestTimeout;
    http.maxConnections = options.maxConnections;
    http.badRequestResponse = response("400 Bad Request");
    http_ = std::make_unique<HttpServer>(
        std::move(http),
        [this](HttpRequest request, std::shared_ptr<HttpResponder> responder) {
            route(std::move(request), std::move(responder));
        },
        [this](const std::string& error) {
            if (callbacks_.onStatus) {
                callbacks_.onStatus("Port " + std::to_string(port()) + " unavailable (" + error +
                                    ")");
            }
        });
}

HookServer::~HookServer() = default;

Result<void> HookServer::start() {
    auto started = http_->start();
    if (!started) return started;
    http_->post([this] {
        if (callbacks_.onStatus) {
            callbacks_.onStatus("Listening on 127.0.0.1:" + std::to_string(port()));
        }
    });
    return {};
}

std::uint16_t HookServer::port() const {
    return http_->port();
}

std::size_t HookServer::openConnections() const {
    return http_->openConnections();
}

std::string HookServer::response(const std::string& status, const std::string& body) {
    std::string out =
        "HTTP/1.1 " + status + "\r\nConnection: close\r\nContent-Type: text/plain\r\n";
    if (!status.starts_with("204"))
        out += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    out += "\r\n";
    out += body;
    return out;
}

std::optional<std::int32_t> HookServer::processId(const std::string* header) {
    long long value = 0;
    if (!header || !parseDecimal(*header, value)) return std::nullopt;
    if (value < 2 || value > std::numeric_limits<std::int32_t>::max()) return std::nullopt;
    return static_cast<std::int32_t>(value);
}

void HookServer::route(HttpRequest request, std::shared_ptr<HttpResponder> responder) {
    if (request.method != "POST") {
        responder->respond(response("200 OK", kListening));
        return;
    }
    const std::string* contentType = request.header("content-type");
    if (request.header("origin") || !contentType || !contentType->starts_with("application/json")) {
        responder->respond(response("403 Forbidden"));
        return;
    }

    const bool permission = request.path.starts_with("/permission");
    const bool stop = !permission && request.path.starts_with("/stop");
    if (!permission && !stop) {
        // Ordinary events are answered before they are looked at.
        responder->respond(response("204 No Content"));
        if (auto event = decode(request); event && callbacks_.onEvent) callbacks_.onEvent(*event);
        return;
    }

    auto event = decode(request);
    if (!event) {
        responder->respond(response("204 No Content"));
        return;
    }
    Reply reply([responder](std::optional<std::string> body, std::function<void()> undelivered) {
        if (body && text::isValidUtf8(*body)) {
            responder->respond(response("200 OK", *body), std::move(undelivered));
        } else {
            responder->respond(response("204 No Content"), std::move(undelivered));
        }
    });
    if (permission) {
        // Claude Code cancels a permission hook when its own dialog is answered first, and sends
        // nothing more for that turn; the closing connection is all that tells us. Stop hooks are
        // not watched: one that gives up is noticed when its answer cannot be delivered.
        reply.departure_ = std::make_shared<Reply::Departure>();
        responder->onClose([departure = reply.departure_] { departure->leave(); });
        if (callbacks_.onEvent) callbacks_.onEvent(*event);
        if (callbacks_.onPermission) callbacks_.onPermission(std::move(*event), std::move(reply));
    } else if (callbacks_.onStop) {
        callbacks_.onStop(std::move(*event), std::move(reply));
    }
}

}  // namespace brimwick
