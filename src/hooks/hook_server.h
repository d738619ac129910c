// HookServer: the loopback HTTP endpoint that Claude Code's hook commands post to. It decodes
// each payload into a HookEvent and hands it to its owner; permission requests and stop hooks
// stay open until the owner replies, and the reply becomes the hook command's output.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "core/result.h"
#include "hooks/hook_event.h"
#include "net/http_server.h"

namespace brimwick {

class HookServer {
  public:
    // Answers a held request: bytes that are valid UTF-8 give "200 OK" with them as the body;
    // nothing (or invalid UTF-8) gives "204 No Content". Callable from any thread; only the
    // first call counts; after the server is gone it writes nothing. `undelivered`, when given,
    // runs on the server thread if the hook command had already gone (it gave up waiting, or
    // was killed), so what the answer carried can be kept for later.
    class Reply {
      public:
        using Send =
            std::function<void(std::optional<std::string> body, std::function<void()> undelivered)>;
        Reply() = default;
        explicit Reply(Send send) : send_(std::move(send)) {}

        void operator()(std::optional<std::string> body,
                        std::function<void()> undelivered = {}) const {
            if (send_) send_(std::move(body), std::move(undelivered));
        }
        explicit operator bool() const { return static_cast<bool>(send_); }

        // Runs `gone` once if the hook command leaves before it is answered (Claude Code
        // cancelled the hook, or was killed): on the server thread, or at once on the calling
        // thread when it has already left. A later call replaces an earlier one. Only permission
        // requests are watched; for any other reply `gone` never runs.
        void onGone(std::function<void()> gone) const;

      private:
        friend class HookServer;
        struct Departure;  // shared with the server thread, which reports the leaving

        Send send_;
        std::shared_ptr<Departure> departure_;
    };

    // Every callback runs on the server thread and must only hand its work to the main thread.
    struct Callbacks {
        std::function<void(HookEvent)> onEvent;
        std::function<void(HookEvent, Reply)> onPermission;
        std::function<void(HookEvent, Reply)> onStop;
        std::function<void(std::string)> onStatus;
    };

    static constexpr std::uint16_t kPort = 47821;

    struct Options {
        std::uint16_t port = kPort;  // 0 in tests: any free port
        double headerTimeout = 2.0;  // curl sends its whole request at once
        double requestTimeout = 10.0;
        std::size_t maxConnections = 256;
    };

    explicit HookServer(Callbacks callbacks) : HookServer(std::move(callbacks), Options()) {}
    HookServer(Callbacks callbacks, Options options);
    ~HookServer();

    // Listens on 127.0.0.1. On failure the error's message is the system's description.
    Result<void> start();
    std::uint16_t port() const;
    std::size_t openConnections() const;

    // The exact bytes of a response: status line, "Connection: close", "Content-Type:
    // text/plain", a Content-Length unless the status is 204, a blank line, the body.
    static std::string response(const std::string& status, const std::string& body = {});

    // The X-Claude-PID value as a process id: a signed 32-bit decimal of 2 or more.
    static std::optional<std::int32_t> processId(const std::string* header);

  private:
    void route(HttpRequest request, std::shared_ptr<HttpResponder> responder);

    Callbacks callbacks_;
    std::unique_ptr<HttpServer> http_;
};

}  // namespace brimwick
