// The usage store in virtual time: when it fetches, what it keeps, what it publishes.
#include "usage/usage_store.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>

#include "support/manual_main_queue.h"
#include "support/memory_preferences.h"

namespace brimwick {
namespace {

using testing::ManualMainQueue;
using testing::MemoryPreferences;
using Kind = UsageError::Kind;

class FakeWake final : public WakeMonitor {
  public:
    Subscription subscribe(std::function<void()> onWake) override {
        return signal.connect(std::move(onWake));
    }
    Signal<> signal;
};

class UsageStoreTest : public ::testing::Test {
  protected:
    std::shared_ptr<UsageStore> makeStore() {
        auto store = UsageStore::create(
            queue, queue, preferences,
            [this](BackgroundTask&, std::function<void(UsageOutcome)> done) {
                fetches.push_back(std::move(done));
            },
            &wake);
        subscription = store->changed.connect([this] { ++changes; });
        return store;
    }

    // Answers the oldest running fetch, then lets the main queue apply the answer.
    void answer(UsageOutcome outcome) {
        ASSERT_FALSE(fetches.empty());
        auto done = std::move(fetches.front());
        fetches.pop_front();
        ++answered;
        done(std::move(outcome));
        queue.runPending();
    }

    std::size_t started() const { return answered + fetches.size(); }

    static PlanUsage figures(double used) { return PlanUsage{UsageLimit{used, {}}, {}, 1.0}; }

    ManualMainQueue queue;
    MemoryPreferences preferences;
    FakeWake wake;
    std::deque<std::function<void(UsageOutcome)>> fetches;
    std::size_t answered = 0;
    int changes = 0;
    Subscription subscription;
};

TEST_F(UsageStoreTest, FetchesAtOnceThenEvery180Seconds) {
    auto store = makeStore();
    EXPECT_EQ(started(), 1u);
    EXPECT_TRUE(store->inFlight());
    answer(figures(0.4));
    queue.advance(179.9);
    EXPECT_EQ(started(), 1u);
    queue.advance(0.1);
    EXPECT_EQ(started(), 2u);
    answer(figures(0.5));
    queue.advance(180);
    EXPECT_EQ(started(), 3u);
}

TEST_F(UsageStoreTest, ForcedRequestsDuringAFetchFoldIntoOneFollowUp) {
    auto store = makeStore();
    store->refresh(true);
    store->refresh(true);
    store->refresh(false);
    store->refresh(true);
    EXPECT_EQ(fetches.size(), 1u);
    answer(figures(0.1));
    EXPECT_EQ(started(), 2u);
    answer(figures(0.2));
    EXPECT_EQ(started(), 2u);
    EXPECT_FALSE(store->inFlight());
}

TEST_F(UsageStoreTest, AnUnforcedRequestDuringAFetchIsDropped) {
    auto store = makeStore();
    queue.advance(61);
    store->refresh(false);
    answer(figures(0.1));
    EXPECT_EQ(started(), 1u);
}

TEST_F(UsageStoreTest, UnforcedRequestsAreSpacedBy60SecondsFromTheLastStart) {
    auto store = makeStore();
    queue.advance(5);
    answer(figures(0.1));  // the answer's arrival time does not matter, the start does
    queue.advance(54);     // 59 s after the start
    store->refresh(false);
    EXPECT_EQ(started(), 1u);
    queue.advance(2);  // 61 s
    store->refresh(false);
    EXPECT_EQ(started(), 2u);
    EXPECT_EQ(store->lastAttempt(), queue.now());
    answer(figures(0.1));
    store->refresh(true);  // forced ignores the spacing
    EXPECT_EQ(started(), 3u);
}

TEST_F(UsageStoreTest, AFailedAttemptStillCountsForTheSpacing) {
    auto store = makeStore();
    answer(figures(0.3));
    queue.advance(180);
    answer(UsageError::of(Kind::network));
    queue.advance(30);
    store->refresh(false);  // a stop hook 30 s after the failed poll
    EXPECT_EQ(started(), 2u);
}

TEST_F(UsageStoreTest, FailuresKeepOldFiguresExceptSignedOut) {
    auto store = makeStore();
    answer(figures(0.3));
    EXPECT_EQ(store->usage(), figures(0.3));
    EXPECT_EQ(store->problem(), "");

    store->refresh(true);
    answer(UsageError::of(Kind::rateLimited));
    EXPECT_EQ(store->usage(), figures(0.3));
    EXPECT_EQ(store->problem(), "Usage is rate limited, retrying soon");

    store->refresh(true);
    answer(figures(0.6));
    EXPECT_EQ(store->usage(), figures(0.6));
    EXPECT_EQ(store->problem(), "");

    store->refresh(true);
    answer(UsageError::http(503));
    EXPECT_EQ(store->usage(), figures(0.6));
    EXPECT_EQ(store->problem(), "Usage unavailable (HTTP 503)");

    store->refresh(true);
    answer(UsageError::of(Kind::signedOut));
    EXPECT_EQ(store->usage(), std::nullopt);
    EXPECT_EQ(store->problem(), "Sign in to Claude Code to see usage");
}

TEST_F(UsageStoreTest, PublishesEachChangeButNotARepeat) {
    auto store = makeStore();
    EXPECT_EQ(changes, 0);
    answer(UsageError::of(Kind::network));
    EXPECT_EQ(changes, 1);
    store->refresh(true);
    answer(UsageError::of(Kind::network));
    EXPECT_EQ(changes, 1);
    store->refresh(true);
    answer(figures(0.2));
    EXPECT_EQ(changes, 2);
    store->setEnabled(false);
    EXPECT_EQ(changes, 3);
    store->setEnabled(false);
    EXPECT_EQ(changes, 3);
}

TEST_F(UsageStoreTest, SwitchingOffMidFetchDropsTheAnswer) {
    auto store = makeStore();
    store->refresh(true);  // a follow-up is pending
    store->setEnabled(false);
    EXPECT_EQ(preferences.value("showUsage"), nlohmann::json(false));
    answer(figures(0.5));
    EXPECT_EQ(store->usage(), std::nullopt);
    EXPECT_EQ(store->problem(), "");
    EXPECT_FALSE(store->inFlight());
    EXPECT_EQ(started(), 1u);  // the pending follow-up meets the switch and stops there

    queue.advance(600);  // polls do nothing while off
    EXPECT_EQ(started(), 1u);
    store->refresh(true);
    EXPECT_EQ(started(), 1u);
}

TEST_F(UsageStoreTest, SwitchingOffClearsFiguresAndProblem) {
    auto store = makeStore();
    answer(figures(0.5));
    store->refresh(true);
    answer(UsageError::of(Kind::network));
    store->setEnabled(false);
    EXPECT_EQ(store->usage(), std::nullopt);
    EXPECT_EQ(store->problem(), "");
}

TEST_F(UsageStoreTest, SwitchingOnFetchesAtOnceDespiteTheSpacing) {
    auto store = makeStore();
    answer(figures(0.5));
    queue.advance(3);
    store->setEnabled(false);
    store->setEnabled(true);
    EXPECT_EQ(started(), 2u);
    EXPECT_EQ(preferences.writes().size(), 2u);
    EXPECT_EQ(preferences.value("showUsage"), nlohmann::json(true));
}

TEST_F(UsageStoreTest, SwitchingBackOnMidFetchAsksForAFreshFollowUp) {
    auto store = makeStore();
    store->setEnabled(false);
    store->setEnabled(true);
    EXPECT_EQ(started(), 1u);
    answer(figures(0.5));  // the old answer is applied, then the follow-up starts
    EXPECT_EQ(store->usage(), figures(0.5));
    EXPECT_EQ(started(), 2u);
}

TEST_F(UsageStoreTest, StoredPreferenceFalseStartsDisabled) {
    preferences = MemoryPreferences(std::map<std::string, nlohmann::json>{{"showUsage", false}});
    auto store = makeStore();
    EXPECT_FALSE(store->enabled());
    queue.advance(1000);
    wake.signal.emit();
    queue.runPending();
    EXPECT_EQ(started(), 0u);
    store->setEnabled(true);
    EXPECT_EQ(started(), 1u);
}

TEST_F(UsageStoreTest, PreferenceOfAnotherTypeCountsAsOn) {
    preferences = MemoryPreferences(std::map<std::string, nlohmann::json>{{"showUsage", "no"}});
    auto store = makeStore();
    EXPECT_TRUE(store->enabled());
    EXPECT_EQ(started(), 1u);
    EXPECT_TRUE(preferences.writes().empty());
}

TEST_F(UsageStoreTest, WakeForcesARefresh) {
    auto store = makeStore();
    answer(figures(0.5));
    queue.advance(10);
    wake.signal.emit();
    EXPECT_EQ(started(), 1u);  // runs as a main-queue task
    queue.runPending();
    EXPECT_EQ(started(), 2u);
}

TEST_F(UsageStoreTest, LateAnswersAndTimersDoNothingOnceTheStoreIsGone) {
    auto store = makeStore();
    std::weak_ptr<UsageStore> weak = store;
    store.reset();
    EXPECT_TRUE(weak.expired());
    const auto queued = queue.pendingCount();
    answer(figures(0.5));
    EXPECT_EQ(queue.pendingCount(), queued);  // nothing posted for a store that is gone
    wake.signal.emit();
    queue.advance(400);
    EXPECT_EQ(started(), 1u);
}

TEST_F(UsageStoreTest, GoingAwayStopsTheFetchOnItsWorkerWaitsForItAndDropsItsAnswer) {
    std::atomic<bool> returned = false;
    auto store = UsageStore::create(
        queue, queue, preferences,
        [&returned](BackgroundTask& worker, std::function<void(UsageOutcome)> done) {
            worker.start([&returned, done](std::stop_token stop) {
                std::mutex mutex;
                std::unique_lock lock(mutex);
                std::condition_variable_any().wait(lock, stop, [] { return false; });
                done(UsageError::of(Kind::network));
                returned = true;
            });
        });
    const auto queued = queue.pendingCount();
    store.reset();
    EXPECT_TRUE(returned);
    EXPECT_EQ(queue.pendingCount(), queued);  // the queue may be going away too
}

}  // namespace
}  // namespace brimwick
