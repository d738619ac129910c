// HttpClient: a blocking HTTP GET behind an interface, so callers are tested without the network.
#pragma once

#include <optional>
#include <stop_token>
#include <string>
#include <utility>
#include <vector>

namespace brimwick {

class HttpClient {
  public:
    struct Request {
        std::string url;                                           // http:// or https:// only
        std::vector<std::pair<std::string, std::string>> headers;  // sent as given, in order
        double timeoutSeconds = 15.0;                              // whole transfer
        std::stop_token stop;  // a stop request abandons the transfer at once
    };

    struct Response {
        long status = 0;
        std::string body;
    };

    virtual ~HttpClient() = default;

    // Sends one GET and waits for the whole answer. Blocks the calling thread, so call it off
    // the main thread. Gives nothing when no HTTP response arrived: no connection, time-out,
    // TLS failure, a reply that is not HTTP, a body too large to keep, or a stop request. Safe
    // to call from several threads at once.
    virtual std::optional<Response> get(const Request& request) = 0;
};

}  // namespace brimwick
