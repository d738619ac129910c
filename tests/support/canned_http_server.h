// CannedHttpServer: a loopback HTTP server for client tests. Answers every request with the
// bytes it was given and records what arrived.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "net/http_request.h"

namespace brimwick::testing {

class CannedHttpServer {
  public:
    struct Received {
        HttpRequest request;     // parsed: method, target, lower-cased headers, body
        std::string headerText;  // the raw header section, request line included
    };

    // Listens on 127.0.0.1 at a free port, on a thread of its own, until destroyed.
    CannedHttpServer();
    ~CannedHttpServer();
    CannedHttpServer(const CannedHttpServer&) = delete;
    CannedHttpServer& operator=(const CannedHttpServer&) = delete;

    std::uint16_t port() const;
    // "http://127.0.0.1:<port>" followed by `path`.
    std::string url(std::string_view path = "/") const;

    // Every later request gets these bytes back, then the connection is closed.
    void respondWith(std::string rawResponse);
    // Every later request is read and the connection closed without a byte sent.
    void closeWithoutAnswer();

    // A whole HTTP/1.1 response with Content-Length and "Connection: close".
    static std::string response(int status, std::string_view body,
                                std::string_view contentType = "application/json");

    std::vector<Received> received() const;
    // Waits in real time until `count` requests have arrived.
    bool waitForRequests(std::size_t count, double timeoutSeconds = 5.0) const;

  private:
    struct State;
    std::shared_ptr<State> state_;
};

}  // namespace brimwick::testing
