#include "sessions/session_store.h"

#include <algorithm>
#include <array>
#include <utility>

#include "core/text.h"
#include "sessions/session_text.h"

namespace brimwick {
namespace {

struct DemoStep {
    BotState state;
    double seconds;
};

constexpr std::array<DemoStep, 10> kDemoScript = {{
    {BotState::greeting, 1.8},
    {BotState::thinking, 2.2},
    {BotState::working, 2.6},
    {BotState::searching, 2.0},
    {BotState::thinking, 1.4},
    {BotState::approval, 2.4},
    {BotState::working, 2.2},
    {BotState::question, 2.0},
    {BotState::error, 1.6},
    {BotState::working, 1.8},
}};

int rank(BotState state) {
    switch (state) {
        case BotState::approval:
            return 0;
        case BotState::question:
            return 1;
        case BotState::error:
            return 2;
        default:
            return 3;
    }
}

bool isQuestionNotification(const std::optional<std::string>& type) {
    return type && (*type == "idle_prompt" || *type == "elicitation_dialog" ||
                    *type == "agent_needs_input");
}

bool isPermissionNotification(const HookEvent& event) {
    if (event.notificationType == "permission_prompt") return true;
    return event.message &&
           text::lowercased(*event.message).find("permission") != std::string::npos;
}

std::optional<BotState> stateNamed(const HookEvent& event) {
    return event.state ? botStateFromRaw(*event.state) : std::nullopt;
}

}  // namespace

bool SessionStore::understands(const HookEvent& event) {
    return !event.name.empty() || stateNamed(event);
}

void SessionStore::turnBegan(const std::string& sessionId, const std::optional<std::string>& cwd,
                             const std::string& prompt, std::optional<std::int32_t> hostPID) {
    HookEvent event;
    event.name = "UserPromptSubmit";
    event.sessionId = sessionId;
    event.cwd = cwd;
    event.prompt = prompt;
    event.hostPID = hostPID;
    handle(event);
}

std::shared_ptr<SessionStore> SessionStore::create(MainQueue& queue, const Clock& clock,
                                                   std::shared_ptr<const ProcessProbe> probe,
                                                   std::shared_ptr<RandomSource> random) {
    std::shared_ptr<SessionStore> store(
        new SessionStore(queue, clock, std::move(probe), std::move(random)));
    store->startSweeper();
    return store;
}

SessionStore::SessionStore(MainQueue& queue, const Clock& clock,
                           std::shared_ptr<const ProcessProbe> probe,
                           std::shared_ptr<RandomSource> random)
    : queue_(queue), clock_(clock), probe_(std::move(probe)), random_(std::move(random)) {
}

std::optional<AgentSession> SessionStore::session(const std::string& id) const {
    for (const auto& session : sessions_) {
        if (session.id == id) return session;
    }
    return std::nullopt;
}

std::vector<AgentSession> SessionStore::ranked() const {
    std::vector<AgentSession> result = sessions_;
    std::stable_sort(result.begin(), result.end(),
                     [](const auto& a, const auto& b) { return rank(a.state) < rank(b.state); });
    return result;
}

std::vector<AgentSession> SessionStore::visible() const {
    auto all = ranked();
    if (all.size() > 1) all.resize(1);
    return all;
}

bool SessionStore::hiddenNeedsAttention() const {
    const auto all = ranked();
    return std::any_of(all.begin() + std::min<std::size_t>(1, all.size()), all.end(),
                       [](const AgentSession& s) { return needsYou(s.state); });
}

void SessionStore::handle(const HookEvent& event) {
    std::optional<std::string> project;
    if (event.cwd) {
        // An empty working directory names no project; the session keeps (or gets) the default.
        std::string component = text::displayable(text::lastPathComponent(*event.cwd));
        if (!component.empty()) project = std::move(component);
    }
    const std::string& id = event.sessionId;
    const std::string& name = event.name;

    if (const auto explicitState = stateNamed(event)) {
        set(id, *explicitState, project, true);
        if (*explicitState == BotState::finished) {
            scheduleRemoval(id, Timing::finishedRemoval);
        }
    } else if (name == "SessionStart") {
        // A compaction restarts the same session; it must not greet again.
        if (event.source != "compact" && (!find(id) || event.source == "startup")) {
            set(id, BotState::greeting, project, true);
            settle(id, BotState::greeting, BotState::idle, Timing::greetingHold);
        }
    } else if (name == "UserPromptSubmit") {
        set(id, BotState::thinking, project, true);
    } else if (name == "PreToolUse") {
        set(id, session_text::stateForTool(event.toolName), project, true);
    } else if (name == "PostToolUse" || name == "PostToolBatch") {
        set(id, BotState::thinking, project, false);
    } else if (name == "PostToolUseFailure") {
        set(id, BotState::error, project, false);
        settle(id, BotState::error, BotState::thinking, Timing::errorHold);
    } else if (name == "PermissionRequest") {
        set(id, BotState::approval, project, true);
    } else if (name == "Notification") {
        if (isPermissionNotification(event)) {
            set(id, BotState::approval, project, true);
        } else if (isQuestionNotification(event.notificationType)) {
            set(id, BotState::question, project, false);
        }
    } else if (name == "PreCompact") {
        set(id, BotState::working, project, false);
    } else if (name == "Stop") {
        set(id, BotState::finished, project, false);
        scheduleRemoval(id, Timing::finishedRemoval);
    } else if (name == "StopFailure") {
        set(id, BotState::error, project, true);
        scheduleRemoval(id, Timing::stopFailureRemoval);
    } else if (name == "SessionEnd") {
        remove(id);
    }

    if (event.hostPID) storeHostPID(id, *event.hostPID);
    describe(event);
}

void SessionStore::permissionAbandoned(const std::string& id) {
    AgentSession* session = find(id);
    if (!session || session->state != BotState::approval) return;
    session->activity.reset();
    set(id, BotState::idle, std::nullopt, false);  // publishes: the state changes
}

void SessionStore::set(const std::string& id, BotState state,
                       const std::optional<std::string>& project, bool create) {
    const Instant now = clock_.now();
    AgentSession* existing = find(id);
    if (!existing) {
        if (!create) return;
        makeRoom();
        AgentSession session;
        session.id = id;
        session.project = project && !project->empty() ? *project : kDefaultProject;
        session.state = state;
        session.previousState = state;
        session.stateChangedAt = now;
        session.createdAt = now;
        session.lastEventAt = now;
        session.seed = random_->uniform01();
        sessions_.push_back(std::move(session));
        generations_[id] = ++generationCounter_;
        publish(SessionChange::Kind::inserted, id, SessionAnimation::appear);
        return;
    }
    const AgentSession before = *existing;
    if (existing->state != state) changeState(*existing, state, now);
    existing->lastEventAt = now;
    if (project && !project->empty()) existing->project = *project;
    if (*existing != before) publish(SessionChange::Kind::updated, id, SessionAnimation::none);
}

void SessionStore::storeHostPID(const std::string& id, std::int32_t pid) {
    AgentSession* session = find(id);
    if (!session || session->hostPID == pid) return;
    session->hostPID = pid;
    publish(SessionChange::Kind::updated, id, SessionAnimation::none);
}

void SessionStore::describe(const HookEvent& event) {
    AgentSession* session = find(event.sessionId);
    if (!session) return;
    std::optional<std::string> task = session->task;
    std::optional<std::string> activity = session->activity;
    const std::string& name = event.name;
    if (name == "UserPromptSubmit") {
        if (auto newTask = session_text::taskText(event.prompt)) task = std::move(newTask);
        activity.reset();
    } else if (name == "PreToolUse" || name == "PermissionRequest") {
        activity = session_text::activityText(event.toolName, event.toolDetail);
    } else if (name == "Stop" || name == "StopFailure" || name == "SessionStart") {
        activity.reset();
    } else {
        return;
    }
    if (task == session->task && activity == session->activity) return;
    session->task = std::move(task);
    session->activity = std::move(activity);
    publish(SessionChange::Kind::updated, event.sessionId, SessionAnimation::none);
}

// By value: callers may pass the id of the very record being erased.
void SessionStore::remove(std::string id) {
    const auto removed = std::erase_if(sessions_, [&](const auto& s) { return s.id == id; });
    if (removed == 0) return;
    generations_.erase(id);
    publish(SessionChange::Kind::removed, id, SessionAnimation::vanish);
}

void SessionStore::clearAll() {
    if (sessions_.empty()) return;
    sessions_.clear();
    generations_.clear();
    publish(SessionChange::Kind::cleared, {}, SessionAnimation::vanish);
}

// A flood of made-up session ids must not grow the list (and every snapshot and menu built
// from it) without bound: the newcomer takes the place of the session quiet the longest.
void SessionStore::makeRoom() {
    if (sessions_.size() < kMaxSessions) return;
    const auto quietest = std::min_element(
        sessions_.begin(), sessions_.end(),
        [](const auto& a, const auto& b) { return a.lastEventAt < b.lastEventAt; });
    remove(quietest->id);
}

void SessionStore::settle(const std::string& id, BotState from, BotState to, double delay) {
    const auto stamp = stampOf(id);
    if (!stamp) return;
    std::weak_ptr<SessionStore> weak = weak_from_this();
    queue_.after(delay, [weak, id, from, to, stamp = *stamp] {
        auto self = weak.lock();
        if (!self) return;
        const AgentSession* session = self->find(id);
        if (!session || session->state != from || !self->stampMatches(id, stamp)) return;
        self->set(id, to, std::nullopt, false);
    });
}

void SessionStore::scheduleRemoval(const std::string& id, double delay) {
    const auto stamp = stampOf(id);
    if (!stamp) return;
    std::weak_ptr<SessionStore> weak = weak_from_this();
    queue_.after(delay, [weak, id, stamp = *stamp] {
        auto self = weak.lock();
        if (self && self->stampMatches(id, stamp)) self->remove(id);
    });
}

void SessionStore::startSweeper() {
    std::weak_ptr<SessionStore> weak = weak_from_this();
    queue_.after(Timing::sweepPeriod, [weak] {
        auto self = weak.lock();
        if (!self) return;
        self->sweep();
        self->startSweeper();
    });
}

void SessionStore::sweep() {
    const Instant now = clock_.now();
    std::vector<std::string> ids;
    ids.reserve(sessions_.size());
    for (const auto& session : sessions_) ids.push_back(session.id);

    for (const auto& id : ids) {
        // Re-found each time: an observer of an earlier removal may have changed the list.
        AgentSession* session = find(id);
        if (!session) continue;
        const double quiet = now - session->lastEventAt;
        if (quiet > Timing::forgetAfter) {
            remove(id);
        } else if (session->hostPID && !probe_->exists(*session->hostPID)) {
            remove(id);
        } else if (quiet > Timing::sleepAfter && !needsYou(session->state) &&
                   session->state != BotState::sleeping) {
            // lastEventAt stays: only an applied state wakes a session.
            changeState(*session, BotState::sleeping, now);
            publish(SessionChange::Kind::updated, id, SessionAnimation::none);
        }
    }
}

void SessionStore::spawnDemo(int count) {
    std::weak_ptr<SessionStore> weak = weak_from_this();
    for (int i = 0; i < count; ++i) {
        const std::string id = "demo-" + random_->uuidString().substr(0, 6);
        const std::string project = "demo-" + std::to_string(i + 1);
        queue_.after(i * Timing::demoStagger, [weak, id, project] {
            if (auto self = weak.lock()) self->runDemo(id, project, 0);
        });
    }
}

void SessionStore::runDemo(const std::string& id, const std::string& project, std::size_t step) {
    if (step < kDemoScript.size()) {
        const DemoStep& current = kDemoScript[step];
        const bool first = current.state == BotState::greeting;
        // Once the session is gone (removed, cleared) the script ends.
        if (!first && !find(id)) return;
        set(id, current.state, project, first);
        const double factor =
            Timing::demoFactorMin +
            (Timing::demoFactorMax - Timing::demoFactorMin) * random_->uniform01();
        std::weak_ptr<SessionStore> weak = weak_from_this();
        queue_.after(current.seconds * factor, [weak, id, project, step] {
            if (auto self = weak.lock()) self->runDemo(id, project, step + 1);
        });
        return;
    }
    if (!find(id)) return;
    set(id, BotState::finished, std::nullopt, false);
    scheduleRemoval(id, Timing::finishedRemoval);
}

AgentSession* SessionStore::find(const std::string& id) {
    for (auto& session : sessions_) {
        if (session.id == id) return &session;
    }
    return nullptr;
}

std::optional<SessionStore::Stamp> SessionStore::stampOf(const std::string& id) const {
    for (const auto& session : sessions_) {
        if (session.id != id) continue;
        const auto it = generations_.find(id);
        return Stamp{session.stateChangedAt, it == generations_.end() ? 0 : it->second};
    }
    return std::nullopt;
}

bool SessionStore::stampMatches(const std::string& id, const Stamp& stamp) const {
    const auto current = stampOf(id);
    return current && current->stateChangedAt == stamp.stateChangedAt &&
           current->generation == stamp.generation;
}

void SessionStore::changeState(AgentSession& session, BotState state, Instant now) {
    session.previousState = session.state;
    session.state = state;
    session.stateChangedAt = now;
    generations_[session.id] = ++generationCounter_;
}

void SessionStore::publish(SessionChange::Kind kind, const std::string& id,
                           SessionAnimation animation) {
    changed.emit(SessionChange{kind, id, animation});
}

}  // namespace brimwick
