// UsageStore: the one observable owner of the plan-usage figures. Decides when to fetch (at
// start, every 180 s, on wake, on demand with 60 s spacing), keeps at most one fetch in flight
// and publishes the last good figures with a one-line problem text.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "core/background_task.h"
#include "core/clock.h"
#include "core/main_queue.h"
#include "core/preferences.h"
#include "core/signal.h"
#include "platform/wake_monitor.h"
#include "usage/usage_api.h"

namespace brimwick {

class UsageStore : public std::enable_shared_from_this<UsageStore> {
  public:
    // Starts one fetch and calls `done` exactly once with its outcome, from any thread. Blocking
    // work belongs on `worker`, which the store owns: it is cancelled and joined when the store
    // goes, and an answer that comes after that is dropped.
    using StartFetch =
        std::function<void(BackgroundTask& worker, std::function<void(UsageOutcome)> done)>;

    static constexpr double minimumSpacing = 60.0;
    static constexpr double pollPeriod = 180.0;
    static constexpr const char* preferenceKey = "showUsage";

    // Reads "showUsage", fetches at once (when enabled), starts the 180 s poll and listens for
    // wake-ups (`wake` may be null: no wake refresh). `queue`, `clock`, `preferences` and `wake`
    // must outlive the store. Main thread.
    static std::shared_ptr<UsageStore> create(MainQueue& queue, const Clock& clock,
                                              Preferences& preferences, StartFetch startFetch,
                                              WakeMonitor* wake = nullptr);
    ~UsageStore();
    UsageStore(const UsageStore&) = delete;
    UsageStore& operator=(const UsageStore&) = delete;

    // Everything below: main thread only.

    // Asks for new figures and returns at once. Ignored while switched off; while a fetch runs,
    // a forced request is remembered as one follow-up; an unforced one is also ignored within
    // 60 s of the last attempt, successful or not.
    void refresh(bool force);

    // The last good figures; kept across failures except "signed out".
    const std::optional<PlanUsage>& usage() const { return usage_; }
    // The last failure's text, or empty after a success or while switched off.
    const std::string& problem() const { return problem_; }
    bool enabled() const { return enabled_; }
    // Stores the choice under "showUsage"; on fetches at once, off clears figures and problem.
    void setEnabled(bool enabled);

    bool inFlight() const { return inFlight_; }
    std::optional<Instant> lastAttempt() const { return lastAttempt_; }

    // Emitted after every change of usage(), problem() or enabled().
    Signal<> changed;

    // Time left until `to`, rounded up to whole minutes: "–" when absent, "now", "45m",
    // "3h 7m", "2d 5h".
    static std::string countdown(std::optional<Instant> to, Instant now);

    // Abbreviated weekday and hour:minute of `at` in the user's locale, time zone and clock
    // cycle ("Tue 3:07 PM", "Di., 15:07"); "–" when absent. The second form names the locale
    // (ICU id such as "de_DE") and time zone (Olson id); empty means the user's own.
    static std::string resetDay(std::optional<Instant> at);
    static std::string resetDay(std::optional<Instant> at, std::string_view locale,
                                std::string_view timeZone);

  private:
    UsageStore(MainQueue& queue, const Clock& clock, Preferences& preferences,
               StartFetch startFetch);
    void start(WakeMonitor* wake);
    void startFetch();
    void apply(const UsageOutcome& outcome);
    void schedulePoll();

    MainQueue& queue_;
    const Clock& clock_;
    Preferences& preferences_;
    StartFetch startFetch_;

    std::optional<PlanUsage> usage_;
    std::string problem_;
    bool enabled_ = true;

    bool inFlight_ = false;
    bool pendingForce_ = false;
    std::optional<Instant> lastAttempt_;

    // Where fetch threads post their answers; emptied when the store goes away.
    struct Outbox {
        std::mutex mutex;
        MainQueue* queue = nullptr;
    };
    std::shared_ptr<Outbox> outbox_;

    TaskHandle poll_;
    Subscription wakeSubscription_;
    BackgroundTask worker_;
};

// The production fetch: usage_api::fetch with `options`, on the store's worker thread.
UsageStore::StartFetch backgroundUsageFetch(usage_api::Options options);

}  // namespace brimwick
