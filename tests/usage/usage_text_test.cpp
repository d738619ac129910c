// The texts shown for usage: percent left, reset countdowns and days, the menu's usage lines.
#include "usage/usage_text.h"

#include <gtest/gtest.h>

#include "core/percent.h"
#include "support/manual_main_queue.h"
#include "support/memory_preferences.h"

namespace brimwick {
namespace {

using testing::ManualMainQueue;
using testing::MemoryPreferences;

constexpr Instant kNow = 1'800'000'000.0;
// Sunday 2025-06-01 15:07:00 UTC.
constexpr Instant kSundayAfternoon = 1'748'779'200.0 + 3 * 3600 + 7 * 60;

TEST(PercentLeft, RoundsHalvesAwayFromZeroAndNeverGoesNegative) {
    EXPECT_EQ(percentLeft(0.424), 58);
    EXPECT_EQ(percentLeft(0.005), 100);  // 99.5 goes up
    EXPECT_EQ(percentLeft(0.015), 99);   // 98.5 goes up
    EXPECT_EQ(percentLeft(0.375), 63);   // 62.5 goes up
    EXPECT_EQ(percentLeft(0.9951), 0);
    EXPECT_EQ(percentLeft(0.995), 1);  // 0.5 goes up
    EXPECT_EQ(percentLeft(0.0), 100);
    EXPECT_EQ(percentLeft(1.0), 0);
    EXPECT_EQ(percentLeft(1.7), 0);
    EXPECT_EQ(percentLeft(-0.2), 100);
    EXPECT_EQ(percentLeft(std::nan("")), 100);
}

TEST(Countdown, RoundsUpToWholeMinutes) {
    EXPECT_EQ(UsageStore::countdown(std::nullopt, kNow), "\u2013");
    EXPECT_EQ(UsageStore::countdown(kNow + 30, kNow), "1m");
    EXPECT_EQ(UsageStore::countdown(kNow + 0.001, kNow), "1m");
    EXPECT_EQ(UsageStore::countdown(kNow, kNow), "now");
    EXPECT_EQ(UsageStore::countdown(kNow - 5, kNow), "now");
    EXPECT_EQ(UsageStore::countdown(kNow - 86400 * 3, kNow), "now");
    EXPECT_EQ(UsageStore::countdown(kNow + 45 * 60, kNow), "45m");
    EXPECT_EQ(UsageStore::countdown(kNow + 59 * 60, kNow), "59m");
    EXPECT_EQ(UsageStore::countdown(kNow + 59 * 60 + 1, kNow), "1h 0m");
    EXPECT_EQ(UsageStore::countdown(kNow + 60 * 60, kNow), "1h 0m");
    EXPECT_EQ(UsageStore::countdown(kNow + (3 * 60 + 7) * 60, kNow), "3h 7m");
    EXPECT_EQ(UsageStore::countdown(kNow + (3 * 60 + 6) * 60 + 1, kNow), "3h 7m");
    EXPECT_EQ(UsageStore::countdown(kNow + 1439 * 60, kNow), "23h 59m");
    EXPECT_EQ(UsageStore::countdown(kNow + 1440 * 60, kNow), "1d 0h");
    EXPECT_EQ(UsageStore::countdown(kNow + 1500 * 60, kNow), "1d 1h");
    EXPECT_EQ(UsageStore::countdown(kNow + (2 * 1440 + 5 * 60 + 59) * 60, kNow), "2d 5h");
    EXPECT_EQ(UsageStore::countdown(kNow + 400 * 86400.0, kNow), "400d 0h");
    EXPECT_EQ(UsageStore::countdown(1e300, kNow).substr(0, 2), "69");  // no overflow
}

TEST(ResetDay, FollowsTheLocalesClockAndTheTimeZone) {
    EXPECT_EQ(UsageStore::resetDay(std::nullopt), "\u2013");
    EXPECT_EQ(UsageStore::resetDay(std::nullopt, "de_DE", "UTC"), "\u2013");
    // English (United States) writes a 12-hour clock with a narrow space before PM.
    EXPECT_EQ(UsageStore::resetDay(kSundayAfternoon, "en_US", "UTC"), "Sun 3:07\u202fPM");
    EXPECT_EQ(UsageStore::resetDay(kSundayAfternoon, "en_US", "America/New_York"),
              "Sun 11:07\u202fAM");
    // German uses 24 hours; Berlin is two hours ahead in June.
    EXPECT_EQ(UsageStore::resetDay(kSundayAfternoon, "de_DE", "Europe/Berlin"), "So., 17:07");
    // British English is 24-hour too; Tokyo is already on Monday.
    EXPECT_EQ(UsageStore::resetDay(kSundayAfternoon + 9 * 3600, "en_GB", "Asia/Tokyo"),
              "Mon 09:07");
}

class UsageMenuLinesTest : public ::testing::Test {
  protected:
    // Each fetch answers at once with the next outcome; none left means it never answers.
    std::shared_ptr<UsageStore> makeStore(std::vector<UsageOutcome> outcomes) {
        auto left = std::make_shared<std::vector<UsageOutcome>>(std::move(outcomes));
        auto store =
            UsageStore::create(queue, queue, preferences,
                               [left](BackgroundTask&, std::function<void(UsageOutcome)> done) {
                                   if (left->empty()) return;
                                   auto next = left->front();
                                   left->erase(left->begin());
                                   done(next);
                               });
        queue.runPending();
        return store;
    }

    ManualMainQueue queue{kNow};
    MemoryPreferences preferences;
};

TEST_F(UsageMenuLinesTest, LoadingUntilTheFirstAnswer) {
    auto store = makeStore({});
    EXPECT_EQ(usageMenuLines(*store, kNow), std::vector<std::string>{"Loading usage\u2026"});
}

TEST_F(UsageMenuLinesTest, FiguresAsTheMenuShowsThem) {
    PlanUsage usage{UsageLimit{0.424, kNow + (3 * 60 + 7) * 60}, UsageLimit{0.005, std::nullopt},
                    kNow};
    auto store = makeStore({usage});
    EXPECT_EQ(usageMenuLines(*store, kNow),
              (std::vector<std::string>{"Session: 58% left \u00b7 resets in 3h 7m",
                                        "Week: 100% left \u00b7 resets \u2013"}));
    EXPECT_EQ(
        weekUsageLine(UsageLimit{1.0, kSundayAfternoon}).rfind("Week: 0% left \u00b7 resets ", 0),
        0u);
}

TEST_F(UsageMenuLinesTest, OnlyTheWindowsThatCameBack) {
    auto store = makeStore({PlanUsage{std::nullopt, UsageLimit{0.5, std::nullopt}, kNow}});
    EXPECT_EQ(usageMenuLines(*store, kNow),
              std::vector<std::string>{"Week: 50% left \u00b7 resets \u2013"});
}

TEST_F(UsageMenuLinesTest, ProblemTextReplacesLoadingAndFollowsOldFigures) {
    auto store = makeStore({UsageError::of(UsageError::Kind::signedOut),
                            PlanUsage{UsageLimit{0.25, kNow + 45 * 60}, std::nullopt, kNow},
                            UsageError::of(UsageError::Kind::rateLimited)});
    EXPECT_EQ(usageMenuLines(*store, kNow),
              std::vector<std::string>{"Sign in to Claude Code to see usage"});
    store->refresh(true);
    queue.runPending();
    store->refresh(true);
    queue.runPending();
    EXPECT_EQ(usageMenuLines(*store, kNow),
              (std::vector<std::string>{"Session: 75% left \u00b7 resets in 45m",
                                        "Usage is rate limited, retrying soon"}));
}

TEST_F(UsageMenuLinesTest, NothingWhileSwitchedOff) {
    preferences.setValue("showUsage", false);
    auto store = makeStore({UsageError::of(UsageError::Kind::network)});
    EXPECT_TRUE(usageMenuLines(*store, kNow).empty());
}

}  // namespace
}  // namespace brimwick
