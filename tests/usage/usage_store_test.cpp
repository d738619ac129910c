// The usage store in virtual time (when it fetches, what it keeps, what it publishes) and the
// texts the menu makes from it.
#include "usage/usage_store.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <deque>

#include "core/percent.h"
#include "support/manual_main_queue.h"
#include "support/memory_preferences.h"
#include "usage/usage_text.h"

namespace brimwick {
namespace {

using Kind = UsageError::Kind;
using Lines = std::vector<std::string>;

struct FakeWake final : WakeMonitor {
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
        fetches.front()(std::move(outcome));
        fetches.pop_front();
        ++answered;
        queue.runPending();
    }
    std::size_t started() const { return answered + fetches.size(); }
    static PlanUsage session(double used) { return PlanUsage{UsageLimit{used, {}}, {}, 1.0}; }

    testing::ManualMainQueue queue;
    testing::MemoryPreferences preferences;
    FakeWake wake;
    std::deque<std::function<void(UsageOutcome)>> fetches;
    std::size_t answered = 0;
    int changes = 0;
    Subscription subscription;
};

// A day of the store as steps: wait (virtual seconds), do something, then count the fetches
// started and the changes published, and read the menu's lines ("|" between them).
TEST_F(UsageStoreTest, WhenItFetchesWhatItKeepsAndWhatItPublishes) {
    const Instant t0 = queue.now();
    const std::map<std::string, UsageOutcome> answers = {
        {"both",
         PlanUsage{UsageLimit{0.424, t0 + 400 + (3 * 60 + 7) * 60}, UsageLimit{0.005, {}}, 1}},
        {"week", PlanUsage{std::nullopt, UsageLimit{0.5, {}}, 1}},
        {"offline", UsageError::of(Kind::network)},
        {"signedOut", UsageError::of(Kind::signedOut)},
        {"limited", UsageError::of(Kind::rateLimited)},
        {"503", UsageError::http(503)}};
    struct Step {
        double wait;
        std::string act;
        std::size_t started;
        int changes;
        std::optional<std::string> lines = {};
    };
    const std::string week = "Week: 50% left \u00b7 resets \u2013";
    // clang-format off
    const Step steps[] = {
        {0, "", 1, 0, "Loading usage\u2026"}, {5, "offline", 1, 1, "Usage unavailable (offline?)"},
        // Spaced 60 s from the last start, not the answer; forced ones during a fetch fold into
        // one follow-up.
        {54, "ask", 1, 1}, {2, "ask", 2, 1}, {0, "force", 2, 1}, {0, "force", 2, 1},
        {0, "ask", 2, 1}, {0, "offline", 3, 1}, {0, "week", 3, 2, week},
        // The poll at 180 s; an unforced request during a fetch is dropped.
        {118.9, "", 3, 2}, {0.1, "", 4, 2}, {61, "ask", 4, 2},
        {0, "limited", 4, 3, week + "|Usage is rate limited, retrying soon"},
        // A failed attempt counts for the spacing too; only "signed out" drops the figures.
        {119, "503", 5, 4, week + "|Usage unavailable (HTTP 503)"}, {30, "ask", 5, 4},
        {0, "force", 6, 4}, {0, "signedOut", 6, 5, "Sign in to Claude Code to see usage"},
        // A wake-up refreshes from a main-queue task.
        {10, "wake", 6, 5}, {0, "", 7, 5},
        {0, "both", 7, 6, "Session: 58% left \u00b7 resets in 3h 7m|Week: 100% left \u00b7 resets \u2013"},
        // Off clears figures and problem, once; nothing happens while off.
        {0, "off", 7, 7, ""}, {0, "off", 7, 7, ""}, {600, "force", 7, 7}, {0, "wake", 7, 7},
        {0, "", 7, 7},
        // On fetches at once despite the spacing; back on mid-fetch, the answer counts and a
        // fresh follow-up starts; off drops the answer and the follow-up.
        {3, "on", 8, 8, "Loading usage\u2026"}, {0, "off", 8, 9}, {0, "on", 8, 10},
        {0, "week", 9, 11}, {0, "force", 9, 11}, {0, "off", 9, 12}, {0, "week", 9, 12, ""}};
    // clang-format on
    preferences.setValue("showUsage", "no");  // another type counts as on
    auto store = makeStore();
    for (const auto& [wait, act, count, published, lines] : steps) {
        queue.advance(wait);
        if (answers.contains(act)) answer(answers.at(act));
        if (act == "ask" || act == "force") store->refresh(act == "force");
        if (act == "on" || act == "off") store->setEnabled(act == "on");
        if (act == "wake") wake.signal.emit();
        EXPECT_EQ(started(), count) << act << " at " << queue.now() - t0;
        EXPECT_EQ(changes, published) << act << " at " << queue.now() - t0;
        std::string shown;
        for (const auto& line : usageMenuLines(*store, queue.now())) {
            shown += (shown.empty() ? "" : "|") + line;
        }
        if (lines) {
            EXPECT_EQ(shown, lines) << act << " at " << queue.now() - t0;
        }
    }
    EXPECT_EQ(store->lastAttempt(), t0 + 1003);
    EXPECT_EQ(preferences.value("showUsage"), nlohmann::json(false));
    EXPECT_EQ(preferences.writes().size(), 6u);
    store = makeStore();  // a stored "off" starts off
    EXPECT_FALSE(store->enabled());
    EXPECT_EQ(started(), 9u);
}

TEST_F(UsageStoreTest, LateAnswersAndTimersDoNothingOnceTheStoreIsGone) {
    std::weak_ptr<UsageStore> weak = makeStore();
    EXPECT_TRUE(weak.expired());
    const auto queued = queue.pendingCount();
    answer(session(0.5));
    EXPECT_EQ(queue.pendingCount(), queued);  // nothing posted for a store that is gone
    wake.signal.emit();
    queue.advance(400);
    EXPECT_EQ(started(), 1u);

    // Going away stops the fetch on its worker, waits for it and drops its answer.
    std::atomic<bool> returned = false;
    auto store = UsageStore::create(
        queue, queue, preferences, [&returned](BackgroundTask& worker, auto done) {
            worker.start([&returned, done](std::stop_token stop) {
                std::mutex mutex;
                std::unique_lock lock(mutex);
                std::condition_variable_any().wait(lock, stop, [] { return false; });
                done(UsageError::of(Kind::network));
                returned = true;
            });
        });
    store.reset();
    EXPECT_TRUE(returned);
    EXPECT_EQ(queue.pendingCount(), queued);  // the queue may be going away too
}

TEST(UsageTexts, PercentLeftCountdownsAndResetDays) {
    // clang-format off
    const std::pair<double, int> percents[] = {{0.424, 58}, {0.005, 100}, {0.015, 99}, {0.375, 63},
        {0.9951, 0}, {0.995, 1}, {1.7, 0}, {-0.2, 100}, {std::nan(""), 100}};
    const std::pair<double, const char*> countdowns[] = {{0.001, "1m"}, {0, "now"},
        {-86400 * 3, "now"}, {59 * 60, "59m"}, {59 * 60 + 1, "1h 0m"}, {(3 * 60 + 6) * 60 + 1, "3h 7m"},
        {1439 * 60, "23h 59m"}, {1440 * 60, "1d 0h"}, {(2 * 1440 + 5 * 60 + 59) * 60, "2d 5h"},
        {400 * 86400.0, "400d 0h"}};
    // clang-format on
    for (const auto& [used, left] : percents) EXPECT_EQ(percentLeft(used), left) << used;
    for (const auto& [left, text] : countdowns) {
        EXPECT_EQ(UsageStore::countdown(1e9 + left, 1e9), text) << left;
    }
    EXPECT_EQ(UsageStore::countdown(std::nullopt, 1e9), "\u2013");
    EXPECT_EQ(UsageStore::countdown(1e300, 1e9).substr(0, 2), "69");  // no overflow

    const Instant sunday = 1'748'790'420.0;  // Sunday 2025-06-01 15:07:00 UTC
    EXPECT_EQ(UsageStore::resetDay(std::nullopt), "\u2013");
    EXPECT_EQ(UsageStore::resetDay(std::nullopt, "de_DE", "UTC"), "\u2013");
    // English (United States) writes a 12-hour clock with a narrow space before PM.
    EXPECT_EQ(UsageStore::resetDay(sunday, "en_US", "UTC"), "Sun 3:07\u202fPM");
    EXPECT_EQ(UsageStore::resetDay(sunday, "en_US", "America/New_York"), "Sun 11:07\u202fAM");
    EXPECT_EQ(UsageStore::resetDay(sunday, "de_DE", "Europe/Berlin"), "So., 17:07");
    EXPECT_EQ(UsageStore::resetDay(sunday + 9 * 3600, "en_GB", "Asia/Tokyo"), "Mon 09:07");
    EXPECT_EQ(weekUsageLine(UsageLimit{1.0, sunday}).rfind("Week: 0% left \u00b7 resets ", 0), 0u);
}

}  // namespace
}  // namespace brimwick
