// HttpServer: the connection plumbing both Brimwick servers share. It accepts TCP connections on
// its own thread, reads one request per connection with the shared parser, and hands complete
// requests to a handler together with a responder that may answer later, from any thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/result.h"
#include "net/http_request.h"

namespace asio {
class io_context;
}

namespace brimwick {

struct HttpServerOptions {
    std::string address = "127.0.0.1";  // "::" listens on every IPv6 and IPv4 interface
    // Tried in order when the address before cannot be used on this machine at all: its family
    // is switched off (a kernel booted with ipv6.disable=1 has no IPv6 sockets) or it is not one
    // of the machine's addresses. Any other failure, such as a taken port, is reported as is.
    std::vector<std::string> fallbackAddresses;
    std::uint16_t port = 0;  // 0 picks a free port (tests)
    HttpLimits limits;
    // A connection is dropped without an answer once its incomplete request grows beyond this.
    std::size_t maxBufferedBytes = 33'554'432;
    // All incomplete requests together; the connection whose bytes would go beyond it is dropped
    // without an answer, so a handful of slow senders cannot make the server hold gigabytes.
    std::size_t maxTotalBufferedBytes = 67'108'864;
    // A connection whose header section has not arrived this long after it opened is closed
    // without an answer: curl and phones send the whole request at once, so only an idle or
    // hostile peer is this slow.
    double headerTimeout = 2.0;
    // A connection whose request is not complete after this long is closed without an answer
    // (the body of a large request may still be arriving after its header section).
    double requestTimeout = 10.0;
    // Open connections at once, held ones included. When full, the oldest connection that has
    // not finished its request is closed to make room for the newcomer; held requests are never
    // closed for it, and when there is nothing else to close the newcomer is.
    std::size_t maxConnections = 256;
    // Open connections of one peer address at once; 0 means no bound. Beyond it the peer's own
    // oldest unfinished connection makes room, so one machine cannot take every slot.
    std::size_t maxConnectionsPerPeer = 0;
    // Sent as-is when a request is malformed; the connection is closed afterwards.
    std::string badRequestResponse;
    // Keep reading every held connection so a peer that leaves is noticed (HttpResponder::onClose).
    // Off for peers that may half-close after sending and still expect an answer; a handler can
    // still watch one request of its choice by calling onClose.
    bool watchHeldConnections = false;
};

// Answers one held request. Thread-safe: respond() may be called from any thread, any number of
// times; only the first call writes. After the server is gone it does nothing.
class HttpResponder {
  public:
    virtual ~HttpResponder() = default;
    // Writes `bytes` (a complete HTTP response) on the server's thread, then closes.
    // `undelivered`, when given, runs on the server thread instead if the answer cannot reach
    // the peer: the connection is already closed, the peer has closed its end (a client that
    // gave up waiting), another answer went first, or the write fails. Bytes the kernel took
    // count as delivered.
    virtual void respond(std::string bytes, std::function<void()> undelivered = {}) = 0;
    // Watches this connection (whatever watchHeldConnections says): `closed` runs on the server
    // thread if the peer leaves (or the connection fails) before an answer was written. Call it
    // on the server thread, from the request handler. At most one callback; a later call
    // replaces it.
    virtual void onClose(std::function<void()> closed) = 0;
};

class HttpServer {
  public:
    // Runs on the server thread for each complete request. It may answer at once or keep the
    // responder and answer later.
    using Handler = std::function<void(HttpRequest, std::shared_ptr<HttpResponder>)>;
    // Runs on the server thread when the listener fails after it started (the error's text).
    using FailureHandler = std::function<void(const std::string&)>;

    HttpServer(HttpServerOptions options, Handler handler, FailureHandler onFailure = {});
    ~HttpServer();  // stops the thread; held requests are dropped unanswered
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Binds and listens (address reuse on), then starts the server thread. The error's message
    // is the system's description, e.g. "Address already in use", for the last address tried.
    Result<void> start();

    // The bound port; 0 before a successful start.
    std::uint16_t port() const;

    // Runs `task` on the server thread (timers and long polls of the owner).
    void post(std::function<void()> task);
    asio::io_context& context();

    // How many connections are open right now (for tests and benchmarks). Any thread.
    std::size_t openConnections() const;
    // Bytes held for incomplete requests right now (for tests and benchmarks). Any thread.
    std::size_t bufferedBytes() const;

    struct State;  // implementation detail, shared with the responders

  private:
    std::shared_ptr<State> state_;
};

}  // namespace brimwick
