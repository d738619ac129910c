// PromptQueue: prompts a phone sent to a session, waiting for the session's turn to end. A stop
// hook takes them all at once (hand-over); prompts that never reached Claude Code go back in
// front for the next stop.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "core/outcome.h"
#include "core/signal.h"
#include "sessions/agent_session.h"

namespace brimwick {

// Prompts waiting for their session, by session id, oldest first.
using QueuedPrompts = std::map<std::string, std::vector<std::string>>;

// Main thread only.
class PromptQueue {
  public:
    static constexpr const char* kSeparator = "\n\n";
    static constexpr const char* kSessionEnded = "That session has ended. Start a new one instead.";

    const QueuedPrompts& queued() const { return queued_; }

    // Queues a prompt for a session that exists; the message tells the phone when it lands.
    Outcome queue(const std::string& text, const std::optional<AgentSession>& session);
    // Takes the session's prompts, joined with "\n\n"; nothing when there are none.
    std::optional<std::string> handOver(const std::string& sessionId);
    // Puts prompts that were handed over but never reached Claude Code back in front.
    void putBack(const std::string& sessionId, const std::string& handedOver);
    // Forgets the session's prompts (it ended).
    void drop(const std::string& sessionId);

    Signal<> changed;

  private:
    QueuedPrompts queued_;
};

}  // namespace brimwick
