// PhoneLink: the Brimwick side of a paired phone. It runs the phone server while the link is on
// and composes what phones see and do: pairing, the requests they may answer (through the
// approval gate it shares with the desktop), prompts queued for sessions, recent projects.
#pragma once

#include <memory>
#include <optional>
#include <set>
#include <string>

#include "approvals/approval_gate.h"
#include "phone/pairing.h"
#include "phone/phone_server.h"
#include "phone/prompt_queue.h"
#include "phone/recent_projects.h"

namespace brimwick {

// Main thread only: every operation, every `changed` emission. The queue and preferences given
// to create() must outlive the link; server callbacks hold it weakly.
class PhoneLink : public std::enable_shared_from_this<PhoneLink> {
  public:
    // Makes (does not start) a phone server; nothing means it could not be made.
    using ServerFactory = std::function<std::shared_ptr<PhoneServer>(
        std::string hostName, std::set<std::string> tokens, std::string code,
        PhoneServer::Callbacks callbacks)>;

    // The link's contact with the rest of the system, every one given.
    struct Services {
        ServerFactory makeServer;
        std::function<std::optional<std::string>()> localAddress;  // the LAN IPv4 address
        std::function<std::string()> newCode;                      // six decimal digits
        RecentProjects::Launch launchSession;
        RecentProjects::IsDirectory isDirectory;
        std::string hostName;  // the machine's name as phones see it
    };

    static constexpr const char* kEnabledKey = "phoneEnabled";
    static constexpr const char* kApprovalsKey = "phoneApprovals";

    // Reads the preferences, joins the gate as an answerer and starts the server when the link
    // was left on.
    static std::shared_ptr<PhoneLink> create(MainQueue& queue, Preferences& preferences,
                                             std::shared_ptr<ApprovalGate> gate, Services services);
    ~PhoneLink();

    bool enabled() const { return enabled_; }
    bool approveFromPhone() const { return approveFromPhone_; }
    const std::string& status() const;  // the server's status line, or why pairing paused
    const std::optional<std::string>& address() const { return address_; }
    const std::string& hostName() const { return services_.hostName; }
    std::shared_ptr<PhoneServer> server() const { return server_; }  // null while off or failed
    std::uint16_t port() const;  // the running server's, else the configured default
    // brimwick://pair?host=…&port=…&code=…&name=…; nothing while off, paused or without address.
    std::optional<std::string> pairingURL() const;
    // A paired phone is watching while approvals from the phone are on.
    bool canAnswer() const;

    Pairing& pairing() const { return *pairing_; }
    PromptQueue& prompts() { return prompts_; }
    const PromptQueue& prompts() const { return prompts_; }
    RecentProjects& projects() { return projects_; }
    const RecentProjects& projects() const { return projects_; }

    // Menu commands.
    void setEnabled(bool on);
    void setApproveFromPhone(bool on);  // off releases what only the phone could answer
    void forgetDevices();               // also ends every long poll; the code stays valid
    // A fresh code (re-reading the address); newCode() clears the burn count first. Nothing
    // while the link is off.
    void issueCode();
    void newCode();

    // The last snapshot built for phones, kept and handed to the running server.
    const nlohmann::json& lastSnapshot() const { return lastSnapshot_; }
    void publish(nlohmann::json snapshot);

    // Set by the application: a phone's prompt for a session. Until it is set, prompts are
    // refused with "Brimwick isn't ready".
    std::function<Outcome(const std::string& sessionId, const std::string& text)> onPrompt;
    // Emitted after every change of what the link or its parts show.
    Signal<> changed;

  private:
    PhoneLink(MainQueue& queue, Preferences& preferences, std::shared_ptr<ApprovalGate> gate,
              Services services);
    void start();
    void stop();
    void sendCodeToServer();
    PhoneServer::Callbacks serverCallbacks();

    MainQueue& queue_;
    Preferences& preferences_;
    std::shared_ptr<ApprovalGate> gate_;
    Services services_;
    std::shared_ptr<Pairing> pairing_;
    PromptQueue prompts_;
    RecentProjects projects_;
    bool enabled_ = false;
    bool approveFromPhone_ = true;
    std::string status_;
    std::optional<std::string> address_;
    std::shared_ptr<PhoneServer> server_;
    // Counts server starts, so a late status or burn from a replaced server is ignored.
    std::uint64_t serverGeneration_ = 0;
    nlohmann::json lastSnapshot_ = nlohmann::json::object();
    std::vector<Subscription> parts_;
};

}  // namespace brimwick
