// SessionStore: the single owner of the list of Claude Code sessions. It turns hook events into
// session states and texts, expires sessions, ranks them by urgency and runs demo sessions.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/clock.h"
#include "core/main_queue.h"
#include "core/random_source.h"
#include "core/signal.h"
#include "hooks/hook_event.h"
#include "platform/process_probe.h"
#include "sessions/agent_session.h"

namespace brimwick {

// How the display layer should animate a change of the list. The store's logic never reads it.
enum class SessionAnimation { none, appear, vanish };

// The parameters behind SessionAnimation, for whoever draws the list.
struct SessionAnimationParameters {
    // appear: a spring.
    static constexpr double appearResponse = 0.45;  // seconds
    static constexpr double appearDampingFraction = 0.68;
    static constexpr double appearBlendDuration = 0.0;
    // vanish: ease-out.
    static constexpr double vanishDuration = 0.5;  // seconds
};

// One published change of the list. `id` is empty for `cleared`.
struct SessionChange {
    enum class Kind { inserted, updated, removed, cleared };
    Kind kind;
    std::string id;
    SessionAnimation animation = SessionAnimation::none;
};

// Main thread only: every operation, every delayed task and every `changed` emission.
// The queue and the clock given to create() must outlive the store. Delayed work (settles,
// removals, the sweep, demo steps) holds the store weakly and does nothing once it is gone.
// The store never fails outwardly: events for unknown sessions are dropped.
class SessionStore : public std::enable_shared_from_this<SessionStore> {
  public:
    struct Timing {
        static constexpr double greetingHold = 2.0;
        static constexpr double errorHold = 1.6;
        static constexpr double finishedRemoval = 2.4;
        static constexpr double stopFailureRemoval = 4.0;
        static constexpr double sweepPeriod = 20.0;
        static constexpr double sleepAfter = 600.0;    // strictly more than this
        static constexpr double forgetAfter = 1800.0;  // strictly more than this
        static constexpr double demoStagger = 0.35;    // times the demo's index
        static constexpr double demoFactorMin = 0.7;
        static constexpr double demoFactorMax = 1.4;
    };
    static constexpr const char* kDefaultProject = "Claude";
    // Live sessions at most; a new one beyond it replaces the one quiet the longest.
    static constexpr std::size_t kMaxSessions = 256;

    // Creates the store and starts its 20-second expiry sweep. `probe` tells whether a
    // session's process still runs; `random` draws seeds and demo ids; neither may be null.
    static std::shared_ptr<SessionStore> create(MainQueue& queue, const Clock& clock,
                                                std::shared_ptr<const ProcessProbe> probe,
                                                std::shared_ptr<RandomSource> random);

    SessionStore(const SessionStore&) = delete;
    SessionStore& operator=(const SessionStore&) = delete;

    // Whether an event means anything to the store: it has a name or names a display state.
    static bool understands(const HookEvent& event);

    // Applies one hook event: creates or updates its session, its texts and process id, and
    // schedules any settle or removal.
    void handle(const HookEvent& event);

    // A new turn began with this prompt without Claude Code saying so (it took a prompt handed
    // over at a stop): the session shows the prompt as its task, as if it had been submitted.
    void turnBegan(const std::string& sessionId, const std::optional<std::string>& cwd,
                   const std::string& prompt, std::optional<std::int32_t> hostPID);

    // In order of creation.
    const std::vector<AgentSession>& sessions() const { return sessions_; }

    // The first session with this id, if any.
    std::optional<AgentSession> session(const std::string& id) const;

    // Every session ordered by urgency: approval, question, error, then the rest; ties keep
    // list order. Computed on each call.
    std::vector<AgentSession> ranked() const;

    // The first of ranked() alone, or an empty list.
    std::vector<AgentSession> visible() const;

    // True when a session after the first of ranked() waits for the user.
    bool hiddenNeedsAttention() const;

    // The permission request the session waited on was dropped unanswered here (its hook went
    // away: the user said no in the terminal, or Claude Code was killed). Claude Code sends
    // nothing more for that turn, so a session still waiting for approval turns idle and its
    // tool activity is cleared. Sessions in any other state are left alone.
    void permissionAbandoned(const std::string& id);

    // Removes every session with this id (vanish animation).
    void remove(std::string id);

    // Removes every session at once (vanish animation).
    void clearAll();

    // Starts `count` scripted demo sessions, 0.35 s apart.
    void spawnDemo(int count);

    // Emitted synchronously after every actual change of the list, never for a no-op.
    // Slots may call back into the store.
    Signal<const SessionChange&> changed;

  private:
    SessionStore(MainQueue& queue, const Clock& clock, std::shared_ptr<const ProcessProbe> probe,
                 std::shared_ptr<RandomSource> random);

    // What a pending settle or removal remembers of the state it was scheduled for.
    struct Stamp {
        Instant stateChangedAt;
        std::uint64_t generation;
    };

    void set(const std::string& id, BotState state, const std::optional<std::string>& project,
             bool create);
    void settle(const std::string& id, BotState from, BotState to, double delay);
    void scheduleRemoval(const std::string& id, double delay);
    void makeRoom();
    void describe(const HookEvent& event);
    void storeHostPID(const std::string& id, std::int32_t pid);

    void startSweeper();
    void sweep();

    void runDemo(const std::string& id, const std::string& project, std::size_t step);

    AgentSession* find(const std::string& id);
    std::optional<Stamp> stampOf(const std::string& id) const;
    bool stampMatches(const std::string& id, const Stamp& stamp) const;
    // Moves a session to a new state, keeping previousState, stateChangedAt and the
    // generation in step.
    void changeState(AgentSession& session, BotState state, Instant now);
    void publish(SessionChange::Kind kind, const std::string& id, SessionAnimation animation);

    MainQueue& queue_;
    const Clock& clock_;
    std::shared_ptr<const ProcessProbe> probe_;
    std::shared_ptr<RandomSource> random_;

    std::vector<AgentSession> sessions_;
    // Counts state changes store-wide, so two changes within one clock tick still tell a
    // pending settle or removal apart.
    std::uint64_t generationCounter_ = 0;
    std::map<std::string, std::uint64_t> generations_;
};

}  // namespace brimwick
