// PhoneLink: everything a paired phone can see or do, on the Brimwick side. It owns the phone
// server while the link is on, issues pairing codes, remembers paired phones and project folders,
// holds permission requests for the phone, queues prompts for sessions and starts new sessions.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "core/clock.h"
#include "core/main_queue.h"
#include "core/preferences.h"
#include "core/random_source.h"
#include "core/result.h"
#include "core/signal.h"
#include "hooks/hook_event.h"
#include "hooks/hook_server.h"
#include "phone/pending_approval.h"
#include "phone/phone_server.h"
#include "phone/phone_snapshot.h"
#include "sessions/agent_session.h"

namespace brimwick {

// Main thread only: every operation, every timer and every `changed` emission. The queue, clock
// and preferences given to create() must outlive the link. Server callbacks and timers hold the
// link weakly and do nothing once it is gone. Preferences are written only when a value changes.
class PhoneLink : public std::enable_shared_from_this<PhoneLink> {
  public:
    // What an action asked for by the phone came to; `message` is shown on the phone.
    struct Outcome {
        bool ok = false;
        std::string message;
        bool operator==(const Outcome&) const = default;
    };

    // The entry through which the phone's prompts reach a session (set by the application).
    using PromptHandler =
        std::function<Outcome(const std::string& sessionId, const std::string& text)>;
    // Makes (does not start) a phone server; nothing means it could not be made.
    using ServerFactory = std::function<std::shared_ptr<PhoneServer>(
        std::string hostName, std::set<std::string> tokens, std::string code,
        PhoneServer::Callbacks callbacks)>;

    // The link's contact with the rest of the system; `real()` gives the production ones. Any
    // member left empty takes its real counterpart.
    struct Services {
        ServerFactory makeServer;  // the default port on every interface, advertised over DNS-SD
        std::function<std::optional<std::string>()> localAddress;  // the LAN IPv4 address
        std::function<std::string()> newCode;  // six decimal digits from a secure source
        std::shared_ptr<RandomSource> random;  // approval ids
        std::function<Result<void>(const std::string& folder, const std::string& prompt)>
            launchSession;  // opens a terminal running Claude Code in `folder`
        std::function<bool(const std::string& path)> isDirectory;
        std::optional<std::string> hostName;  // the machine's name; "Mac" when it has none

        static Services real();
    };

    static constexpr const char* kEnabledKey = "phoneEnabled";
    static constexpr const char* kApprovalsKey = "phoneApprovals";
    static constexpr const char* kDevicesKey = "phoneDevices";
    static constexpr const char* kProjectsKey = "phoneProjects";

    static constexpr int kBurnsBeforePause = 4;
    static constexpr double kApprovalWait = 110.0;
    static constexpr double kJustPairedTime = 2.2;
    static constexpr std::size_t kMaxProjects = 8;
    static constexpr std::size_t kMaxTokenBytes = 64;  // what the server issues
    static constexpr const char* kDefaultTool = "Tool";
    static constexpr const char* kPromptSeparator = "\n\n";

    // Reads the preferences and starts the server when the link was left on.
    static std::shared_ptr<PhoneLink> create(MainQueue& queue, const Clock& clock,
                                             Preferences& preferences, Services services = {});
    ~PhoneLink();
    PhoneLink(const PhoneLink&) = delete;
    PhoneLink& operator=(const PhoneLink&) = delete;

    // Observable state; `changed` follows every change of these.
    bool enabled() const { return enabled_; }
    const std::string& code() const { return code_; }  // "" while off or paused
    const std::string& status() const { return status_; }
    const std::map<std::string, std::string>& devices() const { return devices_; }  // token→name
    const std::optional<std::string>& address() const { return address_; }
    const PendingApprovals& approvals() const { return approvals_; }
    bool approveFromPhone() const { return approveFromPhone_; }
    const QueuedPrompts& queued() const { return queued_; }
    const std::vector<std::string>& projects() const { return projects_; }  // newest first
    const std::optional<std::string>& justPaired() const { return justPaired_; }

    int burnedCodes() const { return burnedCodes_; }
    void setBurnedCodes(int count) { burnedCodes_ = count; }
    const std::string& hostName() const { return hostName_; }
    // The running server, or null while off or after a failed start.
    std::shared_ptr<PhoneServer> server() const { return server_; }
    // The port phones use: the running server's, else the configured default.
    std::uint16_t port() const;

    // The device names, sorted by plain byte comparison.
    std::vector<std::string> deviceNames() const;

    // brimwick://pair?host=…&port=…&code=…&name=…, values percent-encoded; nothing while off,
    // paused or without an address.
    std::optional<std::string> pairingURL() const;

    // Menu commands.
    void setEnabled(bool on);
    void setApproveFromPhone(bool on);  // off releases every waiting request
    void forgetDevices();               // also ends every long poll; the code stays valid

    // A fresh pairing code (also re-reads the address); nothing while the link is off.
    // newCode() first clears the burn count, as the pairing window's "New code" button and its
    // opening while paused do.
    void issueCode();
    void newCode();

    // The permission hook: waits for the phone (up to 110 s) only when the link is on, approvals
    // from the phone are on, a phone is paired, the server runs and a phone is watching;
    // otherwise `reply` gets nothing at once. Every reply is called exactly once. Gives the
    // approval id when the request waits.
    std::optional<std::string> request(const HookEvent& event, HookServer::Reply reply);
    // The phone's answer: "allow", "always", "deny"; "terminal" or anything else gives nothing.
    // A request that is not waiting (answered, released, expired, unknown) is refused with
    // "That request is no longer waiting."
    Outcome decide(const std::string& approvalId, const std::string& decision);
    // The hook of a request went away unanswered: releases the request if it still waits.
    void withdraw(const std::string& approvalId);
    // Releases the session's waiting request when the event shows it has moved past it.
    void sessionMoved(const HookEvent& event);
    // Remembers a project folder (most recent first, at most 8).
    void noteProject(const std::optional<std::string>& cwd);

    // Prompts from the phone.
    void dropQueue(const std::string& sessionId);
    // Takes the session's queued prompts, joined with "\n\n"; nothing when none.
    std::optional<std::string> handOver(const std::string& sessionId);
    // Puts prompts that were handed over but never reached Claude Code back in front of the
    // session's queue, for its next stop.
    void putBack(const std::string& sessionId, const std::string& handedOver);
    // Queues a prompt for a session that exists; the message tells the phone when it lands.
    Outcome queuePrompt(const std::string& text, const std::optional<AgentSession>& session);
    // Starts a session in a known project folder that still exists.
    Outcome startSession(const std::string& path, const std::string& prompt);

    // The last snapshot built for the phone; handed to each new server when it starts.
    const nlohmann::json& lastSnapshot() const { return lastSnapshot_; }
    void setLastSnapshot(nlohmann::json snapshot) { lastSnapshot_ = std::move(snapshot); }
    // Keeps the snapshot and hands it to the running server, if any.
    void publish(nlohmann::json snapshot);

    // Set by the application: looks the session up and calls queuePrompt. While empty, the
    // phone's prompts are refused with "Brimwick isn't ready".
    PromptHandler onPrompt;
    // Set by the desktop face: closes the pairing window 2.2 s after a pairing.
    std::function<void()> closePairingWindow;

    // Emitted after every change of the observable state above.
    Signal<> changed;

    // The texts the phone sees.
    static constexpr const char* kStarting = "Starting\u2026";
    static constexpr const char* kPaused =
        "Pairing paused after repeated wrong codes. Choose \u201cPair a phone\u201d for a new "
        "code.";
    static constexpr const char* kNotReady = "Brimwick isn't ready";
    static constexpr const char* kSessionEnded = "That session has ended. Start a new one instead.";
    static constexpr const char* kUnknownFolder = "Brimwick doesn't know that folder any more.";
    static constexpr const char* kDenied = "Denied from Brimwick on the user's phone.";
    static constexpr const char* kNoLongerWaiting = "That request is no longer waiting.";

    // The hook answer for a decision, or nothing for "terminal" and unknown decisions.
    static std::optional<std::string> decisionAnswer(
        const std::string& decision, const std::optional<std::vector<nlohmann::json>>& suggestions);

    // Six digits drawn uniformly from the system's secure random source ("%06d").
    static std::string securePairingCode();

    // RFC 3986 percent-encoding: everything but letters, digits and "-._~".
    static std::string percentEncoded(const std::string& text);

  private:
    PhoneLink(MainQueue& queue, const Clock& clock, Preferences& preferences, Services services);

    void loadDevicesAndProjects();
    void start();
    void stop();
    void codeBurned();
    void paired(const std::string& token, const std::string& device);
    void resolve(const std::string& id, std::optional<std::string> data);
    void releaseAll();
    void releaseSession(const std::string& sessionId);
    PhoneServer::Callbacks serverCallbacks();
    std::string newApprovalId();
    void notify() { changed.emit(); }

    MainQueue& queue_;
    const Clock& clock_;
    Preferences& preferences_;
    Services services_;

    bool enabled_ = false;
    std::string code_;
    int burnedCodes_ = 0;
    std::string status_;
    std::string listenerStatus_;  // the phone server's last status line
    std::map<std::string, std::string> devices_;
    std::optional<std::string> address_;
    PendingApprovals approvals_;
    std::map<std::string, TaskHandle> expiries_;  // by approval id
    bool approveFromPhone_ = true;
    QueuedPrompts queued_;
    std::vector<std::string> projects_;
    std::optional<std::string> justPaired_;
    TaskHandle justPairedTimer_;
    std::string hostName_;
    std::shared_ptr<PhoneServer> server_;
    // Counts server starts, so a late status or burn from a replaced server is ignored.
    std::uint64_t serverGeneration_ = 0;
    nlohmann::json lastSnapshot_ = nlohmann::json::object();
};

}  // namespace brimwick
