// PhoneServer: the HTTP server paired phones talk to, on every interface. It owns everything
// visible on the wire — routes, bearer tokens, pairing with its burn rule, the long poll of the
// status snapshot — and hands what phones ask for to its owner through callbacks.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "core/clock.h"
#include "core/result.h"
#include "hooks/http_server.h"

namespace brimwick {

class PhoneServer : public std::enable_shared_from_this<PhoneServer> {
  public:
    // Answers a prompt or new-session request: ok gives "202 Accepted", otherwise "409
    // Conflict", both with {"message": message}. Any thread; call it once.
    using Reply = std::function<void(bool ok, std::string message)>;

    // Every callback runs on the server thread and must return quickly.
    struct Callbacks {
        std::function<void(std::string token, std::string device)> onPaired;
        std::function<void()> onCodeBurned;
        // decision is "allow", "always", "deny" or "terminal"; the id is not checked.
        std::function<void(std::string approvalId, std::string decision)> onDecide;
        std::function<void(std::string sessionId, std::string text, Reply reply)> onPrompt;
        std::function<void(std::string folder, std::string text, Reply reply)> onNewSession;
        std::function<void(std::string status)> onStatus;
    };

    struct Options {
        std::uint16_t port = defaultPort();
        std::string address = "::";                                // every interface, IPv6 and IPv4
        std::vector<std::string> fallbackAddresses = {"0.0.0.0"};  // IPv4 only, without IPv6
        double longPollHold = 25.0;
        double watchWindow = 35.0;  // a phone counts as watching this long after a "/status"
        double requestTimeout = 10.0;
        std::size_t maxConnections = 64;
        const Clock* clock = nullptr;  // the system clock when null
        // DNS-SD: called on the caller's thread once listening (with the bound port) and on
        // stop. The owner registers "_brimwick._tcp" with TXT "v=1" under the host name.
        std::function<void(std::uint16_t port)> advertise;
        std::function<void()> withdraw;
    };

    static constexpr std::size_t kMaxFailedCodes = 5;
    static constexpr std::size_t kMaxDeviceName = 60;
    static constexpr std::size_t kMaxPromptLength = 20'000;
    static constexpr std::size_t kMaxBufferedBytes = 1'048'576;

    // Owned by shared_ptr: timers and replies hold the server weakly.
    static std::shared_ptr<PhoneServer> create(std::string hostName, std::set<std::string> tokens,
                                               std::string code, Callbacks callbacks,
                                               Options options);
    static std::shared_ptr<PhoneServer> create(std::string hostName, std::set<std::string> tokens,
                                               std::string code, Callbacks callbacks) {
        return create(std::move(hostName), std::move(tokens), std::move(code), std::move(callbacks),
                      Options());
    }
    ~PhoneServer();

    // Listens and advertises the service. The error's message is the system's description.
    Result<void> start();
    // Stops listening at once and ends every waiting long poll without an answer.
    void stop();
    std::uint16_t port() const;  // the bound port; 0 before start

    // These post their work to the server thread and return at once.
    void publish(nlohmann::json snapshot);         // an object; "version" is added
    void setTokens(std::set<std::string> tokens);  // ends every waiting poll with 401
    void setCode(std::string code);                // "" disables pairing; resets the wrong count

    // A long poll is waiting, or a "/status" came within the watch window. Any thread.
    bool phoneIsWatching() const;

    const std::string& hostName() const { return hostName_; }

    // The port: "BRIMWICK_PHONE_PORT" when it holds an unsigned 16-bit decimal (an optional
    // "+" allowed), else 47822. Read once per process.
    static std::uint16_t defaultPort();
    static std::uint16_t parsePort(const char* value);  // the rule above, for any text

    // 32 bytes from the system's secure random source as 64 lower-case hexadecimal digits.
    static std::string randomToken();

    struct State;  // implementation detail

  private:
    PhoneServer(std::string hostName, Callbacks callbacks, Options options);
    // Server thread.
    void route(HttpRequest request, std::shared_ptr<HttpResponder> responder);
    void pair(const HttpRequest& request, HttpResponder& responder);
    void poll(const std::string& query, std::shared_ptr<HttpResponder> responder);
    void decide(const HttpRequest& request, HttpResponder& responder);
    void forward(bool prompt, const HttpRequest& request, std::shared_ptr<HttpResponder> responder);

    std::string hostName_;
    std::shared_ptr<State> state_;
};

}  // namespace brimwick
