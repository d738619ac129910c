#include "app/menu_bar_frame.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "mascot/mascot_motion.h"

namespace brimwick {
namespace {

constexpr Instant kLaunch = 1'800'000'000.0;

bool moving(std::optional<BotState> state, double sinceChange, double sinceLaunch = 60,
            bool reduce = false) {
    const Instant now = kLaunch + sinceLaunch;
    return menuBarIconMoving(state, now, now - sinceChange, kLaunch, reduce);
}

TEST(MenuBarMotionTest, OnlyLivelyStatesAndShortEffectsKeepTheTimerRunning) {
    for (BotState state : {BotState::thinking, BotState::working, BotState::searching,
                           BotState::approval, BotState::question}) {
        EXPECT_TRUE(moving(state, 1000)) << rawValue(state);
    }
    // Offsets are binary fractions so that the instants add up exactly.
    EXPECT_TRUE(moving(BotState::error, 0.59375));
    EXPECT_FALSE(moving(BotState::error, 0.625));
    EXPECT_TRUE(moving(BotState::finished, 0.484375));
    EXPECT_FALSE(moving(BotState::finished, 0.5));
    for (BotState state : {BotState::greeting, BotState::idle, BotState::sleeping}) {
        EXPECT_FALSE(moving(state, 0)) << rawValue(state);
    }
    EXPECT_FALSE(moving(std::nullopt, 0));
}

TEST(MenuBarMotionTest, TheIntroMovesAndReduceMotionStopsEverything) {
    EXPECT_TRUE(moving(std::nullopt, 0.59375, 0.59375));
    EXPECT_FALSE(moving(std::nullopt, 0.625, 0.625));
    EXPECT_FALSE(moving(BotState::working, 0, 0, true));
    EXPECT_FALSE(moving(std::nullopt, 0, 0, true));
}

TEST(MenuBarFrameTest, FramesCarryPhaseSinceAndIntro) {
    const MenuBarFrame frame =
        menuBarFrameAt(BotState::working, kLaunch + 0.375, kLaunch + 0.125, kLaunch, false);
    EXPECT_EQ(frame.since, 0.25);
    EXPECT_EQ(frame.t, kLaunch + 0.375 - kAnimationEpoch);
    EXPECT_EQ(frame.intro, 0.625);
    EXPECT_EQ(menuBarFrameAt(std::nullopt, kLaunch + 5, kLaunch, kLaunch, false).intro, 1);
    // A clock stepped back gives the start of the animation, not a negative time.
    const MenuBarFrame early =
        menuBarFrameAt(BotState::error, kLaunch - 1, kLaunch, kLaunch, false);
    EXPECT_EQ(early.since, 0);
    EXPECT_EQ(early.intro, 0);
}

TEST(MenuBarFrameTest, ReduceMotionGivesTheStillFinalLook) {
    const MenuBarFrame still =
        menuBarFrameAt(BotState::finished, kLaunch + 0.1, kLaunch + 0.1, kLaunch, true);
    EXPECT_TRUE(std::isinf(still.since));
    EXPECT_EQ(still.t, 0);
    EXPECT_EQ(still.intro, 1);
    EXPECT_NEAR(menuBarPose(still).scale, 1, 1e-12);
    MenuBarFrame error = still;
    error.state = BotState::error;
    EXPECT_EQ(menuBarPose(error), IconPose{});
    error.state = BotState::approval;
    EXPECT_EQ(menuBarPose(error), IconPose{});
}

TEST(MenuBarFrameTest, PosesOfTheIcon) {
    MenuBarFrame frame{BotState::approval, 0, std::numbers::pi / 10, 1};
    EXPECT_NEAR(menuBarPose(frame).scale, 1.06, 1e-12);
    frame = {BotState::question, 0, std::numbers::pi / 3, 1};
    EXPECT_NEAR(menuBarPose(frame).angle, 0.14, 1e-12);
    frame = {BotState::finished, 0.225, 0, 1};
    EXPECT_NEAR(menuBarPose(frame).scale, 1.07, 1e-12);
    frame = {BotState::error, 0.03, 0, 1};
    EXPECT_NEAR(menuBarPose(frame).dx, 1.3 * std::sin(1.44) * (1 - 0.03 / 0.55), 1e-12);
    frame.since = 0.55;
    EXPECT_EQ(menuBarPose(frame).dx, 0);
    frame.since = 3.23;  // unlike the island mascot, the icon shakes only once
    EXPECT_EQ(menuBarPose(frame).dx, 0);
    frame = {std::nullopt, 0, 0, 0.5};
    EXPECT_EQ(menuBarPose(frame), IconPose{});
}

TEST(MenuBarFrameTest, DescriptionNamesTheState) {
    EXPECT_EQ(menuBarDescription(std::nullopt), "Brimwick");
    EXPECT_EQ(menuBarDescription(BotState::approval), "Brimwick: Needs your approval");
    EXPECT_EQ(menuBarDescription(BotState::searching), "Brimwick: Reading files");
}

}  // namespace
}  // namespace brimwick
