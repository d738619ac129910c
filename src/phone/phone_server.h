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
#include "net/http_server.h"

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
        // decision is "allow", "always", "deny" or "terminal"; the id is not checked. The owner
        // says whether the request was waiting: ok gives "202 Accepted" with an empty body.
        std::function<void(std::string approvalId, std::string decision, Reply reply)> onDecide;
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
        // ... but only this long after its waiting poll was closed from its end (it went away).
        double leftWindow = 5.0;
        double headerTimeout = 5.0;  // a phone sends its whole request at once
        double requestTimeout = 10.0;
        std::size_t maxConnections = 64;
        std::size_t maxConnectionsPerPeer = 16;  // one machine cannot take every place
        // DNS-SD: called on the caller's thread once listening (with the bound port) and on
        // stop. The owner registers "_brimwick._tcp" with TXT "v=1" under the host name.
        std::function<void(std::uint16_t port)> advertise;
        std::function<void()> withdraw;
    };

    static constexpr std::size_t kMaxFailedCodes = 5;
    static constexpr std::size_t kMaxDeviceName = 60;
    static constexpr std::size_t kMaxPromptLength = 20'000;
    static constexpr std::size_t kMaxBufferedBytes = 1'048'576;
    // Each phone (token) may ask for this many new sessions in any minute; more get "429 Too
    // Many Requests". Refused and started sessions count alike, malformed requests do not.
    static constexpr std::size_t kMaxNewSessionsPerMinute = 3;
    static constexpr const char* kTooManyNewSessions =
        "Too many new sessions at once. Try again in a minute.";

    // Owned by shared_ptr: timers and replies hold the server weakly.
    // `clock` (the watch window, the limit on new sessions) must outlive the server.
    static std::shared_ptr<PhoneServer> create(std::string hostName, std::set<std::string> tokens,
                                               std::string code, Callbacks callbacks,
                                               const Clock& clock, Options options);
    static std::shared_ptr<PhoneServer> create(std::string hostName, std::set<std::string> tokens,
                                               std::string code, Callbacks callbacks,
                                               const Clock& clock);
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

    // A long poll is waiting, or some phone's last "/status" came within the watch window (the
    // short one for a phone that closed its waiting poll and has not polled since). Any thread.
    bool phoneIsWatching() const;
    // Long polls waiting right now (for tests and benchmarks). Any thread.
    std::size_t waitingPolls() const;

    const std::string& hostName() const { return hostName_; }

    // The port: "BRIMWICK_PHONE_PORT" when it holds an unsigned 16-bit decimal (an optional
    // "+" allowed), else 47822. Read once per process.
    static std::uint16_t defaultPort();
    static std::uint16_t parsePort(const char* value);  // the rule above, for any text

    // 32 bytes from the system's secure random source as 64 lower-case hexadecimal digits;
    // nothing when the source fails (a pairing is then answered "503 Service Unavailable").
    static std::optional<std::string> randomToken();

    struct State;  // implementation detail

  private:
    PhoneServer(std::string hostName, Callbacks callbacks, Options options);
    // Server thread.
    void route(HttpRequest request, std::shared_ptr<HttpResponder> responder);
    void pair(const HttpRequest& request, HttpResponder& responder);
    void poll(const std::string& token, const std::string& query,
              std::shared_ptr<HttpResponder> responder);
    void decide(const HttpRequest& request, std::shared_ptr<HttpResponder> responder);
    void forward(bool prompt, const std::string& token, const HttpRequest& request,
                 std::shared_ptr<HttpResponder> responder);

    std::string hostName_;
    std::shared_ptr<State> state_;
};

}  // namespace brimwick
