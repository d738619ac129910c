// Shared set-up of the island's drawing tests: a session store and a usage store on virtual
// time, with helpers to add sessions in a given state and to hand out usage figures.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sessions/session_store.h"
#include "support/fake_process_probe.h"
#include "support/fake_random.h"
#include "support/manual_main_queue.h"
#include "support/memory_preferences.h"
#include "usage/usage_store.h"

namespace brimwick::testing {

struct IslandFixture {
    ManualMainQueue queue;
    MemoryPreferences preferences;
    std::shared_ptr<SessionStore> store;
    std::shared_ptr<UsageStore> usage;
    // The answer the next fetch gives: figures, or nothing for a network failure.
    std::optional<PlanUsage> next;

    explicit IslandFixture(bool usageOn = true) {
        preferences.setValue(UsageStore::preferenceKey, usageOn);
        store = SessionStore::create(queue, queue, std::make_shared<FakeProcessProbe>(),
                                     std::make_shared<FakeRandom>());
        usage = UsageStore::create(queue, queue, preferences,
                                   [this](BackgroundTask&, std::function<void(UsageOutcome)> done) {
                                       next ? done(*next)
                                            : done(UsageError::of(UsageError::Kind::network));
                                   });
        queue.runPending();
    }

    void add(const std::string& id, BotState state, const std::string& project = "proj") {
        HookEvent event;
        event.sessionId = id;
        event.cwd = "/home/user/" + project;
        event.state = std::string(rawValue(state));
        store->handle(event);
    }

    // Figures with the given used fractions; a missing one is absent.
    static PlanUsage figures(std::optional<double> session, std::optional<double> week = {}) {
        auto limit = [](std::optional<double> used) {
            return used ? std::optional(UsageLimit{*used, std::nullopt}) : std::nullopt;
        };
        return {limit(session), limit(week)};
    }

    // Fetches again at once and hands out `figures` (nothing: a failure).
    void publish(std::optional<PlanUsage> figures) {
        next = std::move(figures);
        usage->refresh(true);
        queue.runPending();
    }
};

}  // namespace brimwick::testing
