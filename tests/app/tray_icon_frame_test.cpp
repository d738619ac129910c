#include "app/tray_icon_frame.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "mascot/mascot_motion.h"

namespace brimwick {
namespace {

constexpr Instant kLaunch = 1'800'000'000.0;

TEST(TrayIconFrameTest, OnlyLivelyStatesShortEffectsAndTheIntroKeepTheTimerRunning) {
    const auto moving = [](std::optional<BotState> state, double sinceChange,
                           double sinceLaunch = 60, bool reduce = false) {
        const Instant now = kLaunch + sinceLaunch;
        return trayIconMoving(state, now, now - sinceChange, kLaunch, reduce);
    };
    for (BotState state : {BotState::thinking, BotState::working, BotState::searching,
                           BotState::approval, BotState::question}) {
        EXPECT_TRUE(moving(state, 1000)) << rawValue(state);
    }
    for (BotState state : {BotState::greeting, BotState::idle, BotState::sleeping}) {
        EXPECT_FALSE(moving(state, 0)) << rawValue(state);
    }
    // Offsets are binary fractions so that the instants add up exactly.
    EXPECT_TRUE(moving(BotState::error, 0.59375));
    EXPECT_FALSE(moving(BotState::error, 0.625));
    EXPECT_TRUE(moving(BotState::finished, 0.484375));
    EXPECT_FALSE(moving(BotState::finished, 0.5));
    EXPECT_FALSE(moving(std::nullopt, 0));
    EXPECT_TRUE(moving(std::nullopt, 0.59375, 0.59375));  // the intro
    EXPECT_FALSE(moving(std::nullopt, 0.625, 0.625));
    EXPECT_FALSE(moving(BotState::working, 0, 0, true));  // reduce motion stops everything
    EXPECT_FALSE(moving(std::nullopt, 0, 0, true));
}

TEST(TrayIconFrameTest, FramesPosesAndDescriptions) {
    const TrayIconFrame frame =
        trayIconFrameAt(BotState::working, kLaunch + 0.375, kLaunch + 0.125, kLaunch, false);
    EXPECT_EQ(frame.since, 0.25);
    EXPECT_EQ(frame.t, kLaunch + 0.375 - kAnimationEpoch);
    EXPECT_EQ(frame.intro, 0.625);
    EXPECT_EQ(trayIconFrameAt(std::nullopt, kLaunch + 5, kLaunch, kLaunch, false).intro, 1);
    // A clock stepped back gives the start of the animation, not a negative time.
    const TrayIconFrame early =
        trayIconFrameAt(BotState::error, kLaunch - 1, kLaunch, kLaunch, false);
    EXPECT_EQ(early.since, 0);
    EXPECT_EQ(early.intro, 0);
    // Reduce motion gives the still, final look.
    TrayIconFrame still =
        trayIconFrameAt(BotState::finished, kLaunch + 0.1, kLaunch + 0.1, kLaunch, true);
    EXPECT_TRUE(std::isinf(still.since));
    EXPECT_EQ(still.t, 0);
    EXPECT_EQ(still.intro, 1);
    EXPECT_NEAR(trayIconPose(still).scale, 1, 1e-12);
    for (BotState state : {BotState::error, BotState::approval}) {
        still.state = state;
        EXPECT_EQ(trayIconPose(still), IconPose{});
    }

    EXPECT_NEAR(trayIconPose({BotState::approval, 0, std::numbers::pi / 10, 1}).scale, 1.06, 1e-12);
    EXPECT_NEAR(trayIconPose({BotState::question, 0, std::numbers::pi / 3, 1}).angle, 0.14, 1e-12);
    EXPECT_NEAR(trayIconPose({BotState::finished, 0.225, 0, 1}).scale, 1.07, 1e-12);
    EXPECT_NEAR(trayIconPose({BotState::error, 0.03, 0, 1}).dx,
                1.3 * std::sin(1.44) * (1 - 0.03 / 0.55), 1e-12);
    EXPECT_EQ(trayIconPose({BotState::error, 0.55, 0, 1}).dx, 0);
    EXPECT_EQ(trayIconPose({BotState::error, 3.23, 0, 1}).dx,
              0);  // unlike the island's, it shakes once
    EXPECT_EQ(trayIconPose({std::nullopt, 0, 0, 0.5}), IconPose{});

    EXPECT_EQ(trayIconDescription(std::nullopt), "Brimwick");
    EXPECT_EQ(trayIconDescription(BotState::approval), "Brimwick: Needs your approval");
    EXPECT_EQ(trayIconDescription(BotState::searching), "Brimwick: Reading files");
}

}  // namespace
}  // namespace brimwick
