#include "mascot/mascot_motion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "mascot/mascot_palette.h"

namespace brimwick {
namespace {

constexpr double kPi = std::numbers::pi;

TEST(MascotPaletteTest, StateColoursAreExact) {
    EXPECT_EQ(paletteColor(BotState::greeting), (Rgb{0.93, 0.94, 0.96}));
    EXPECT_EQ(paletteColor(BotState::idle), (Rgb{0.93, 0.94, 0.96}));
    EXPECT_EQ(paletteColor(BotState::thinking), (Rgb{0.72, 0.62, 0.98}));
    EXPECT_EQ(paletteColor(BotState::working), (Rgb{0.48, 0.70, 1.00}));
    EXPECT_EQ(paletteColor(BotState::searching), (Rgb{0.60, 0.62, 0.98}));
    EXPECT_EQ(paletteColor(BotState::approval), (Rgb{1.00, 0.76, 0.36}));
    EXPECT_EQ(paletteColor(BotState::question), (Rgb{0.42, 0.86, 0.92}));
    EXPECT_EQ(paletteColor(BotState::finished), (Rgb{0.50, 0.90, 0.68}));
    EXPECT_EQ(paletteColor(BotState::error), (Rgb{1.00, 0.45, 0.48}));
    EXPECT_EQ(paletteColor(BotState::sleeping), (Rgb{0.80, 0.82, 0.88}));
}

TEST(MascotPaletteTest, ColourBlendsOverAThirdOfASecond) {
    const Rgb blue = paletteColor(BotState::working), green = paletteColor(BotState::finished);
    EXPECT_EQ(blendedTint(BotState::working, BotState::finished, 0), blue);
    EXPECT_EQ(blendedTint(BotState::working, BotState::finished, -3), blue);
    const Rgb half = blendedTint(BotState::working, BotState::finished, 0.175);
    EXPECT_NEAR(half.red, (blue.red + green.red) / 2, 1e-12);
    EXPECT_NEAR(half.green, (blue.green + green.green) / 2, 1e-12);
    EXPECT_NEAR(half.blue, (blue.blue + green.blue) / 2, 1e-12);
    EXPECT_EQ(blendedTint(BotState::working, BotState::finished, 0.35), green);
    EXPECT_EQ(blendedTint(BotState::working, BotState::finished, 1e9), green);
    EXPECT_EQ(blendedTint(BotState::working, BotState::finished, INFINITY), green);
}

TEST(MascotTimesTest, SinceIsNeverNegativeAndSeedsShiftThePhase) {
    const Instant now = kAnimationEpoch + 1000;
    EXPECT_DOUBLE_EQ(mascotTimes(now, now - 2.5, 0).since, 2.5);
    EXPECT_EQ(mascotTimes(now, now + 30, 0).since, 0);
    EXPECT_DOUBLE_EQ(mascotTimes(now, now, 0).t, 1000);
    EXPECT_DOUBLE_EQ(mascotTimes(now, now, 0.25).t, 1025);
}

TEST(MascotPoseTest, GreetingTurnsInFromMinusSixtyDegreesWithOnePop) {
    const Pose start = makePose(BotState::greeting, 5, 0);
    EXPECT_NEAR(start.angle, -kPi / 3, 1e-12);
    EXPECT_NEAR(start.scale, 1, 1e-12);
    EXPECT_NEAR(makePose(BotState::greeting, 5, 0.3).scale, 1.06, 1e-12);
    const Pose settled = makePose(BotState::greeting, 5, 0.6);
    EXPECT_NEAR(settled.angle, 0, 1e-12);
    EXPECT_NEAR(settled.scale, 1, 1e-12);
    EXPECT_EQ(settled.glow, 0.5);
    EXPECT_EQ(makePose(BotState::greeting, 5, 10).angle, 0);
}

TEST(MascotPoseTest, WorkingTurnsSixtyDegreesEveryCycleWithSmoothSteps) {
    // The ease runs over the first 0.35 of each 1.2 s cycle (0.42 s).
    EXPECT_NEAR(hexTurnAngle(0), 0, 1e-12);
    EXPECT_NEAR(hexTurnAngle(0.21), kPi / 6, 1e-12);  // halfway through the first turn
    EXPECT_LT(hexTurnAngle(0.105), kPi / 12);         // slow start
    EXPECT_NEAR(hexTurnAngle(0.42), kPi / 3, 1e-12);
    EXPECT_NEAR(hexTurnAngle(1.19), kPi / 3, 1e-12);  // resting until the next cycle
    EXPECT_NEAR(hexTurnAngle(1.2 * 5 + 0.42), 6 * kPi / 3, 1e-9);
    const Pose pose = makePose(BotState::working, 0.21, 0);
    EXPECT_NEAR(pose.angle, kPi / 6, 1e-12);
    EXPECT_EQ(pose.glow, 0.75);
}

TEST(MascotPoseTest, ErrorShakesOnEntryAndAgainEveryCycle) {
    auto dx = [](double since) { return makePose(BotState::error, 7, since).dx; };
    EXPECT_EQ(dx(0), 0);
    EXPECT_NEAR(dx(0.03), 0.18 * std::sin(1.44) * (1 - 0.03 / 0.55), 1e-12);
    EXPECT_EQ(dx(0.55), 0);
    EXPECT_EQ(dx(0.7), 0);
    EXPECT_EQ(dx(3.0), 0);
    EXPECT_NEAR(dx(3.2), 0, 1e-9);  // the second shake starts here
    EXPECT_NEAR(dx(3.23), 0.18 * std::sin(1.44) * (1 - 0.03 / 0.55), 1e-9);
    EXPECT_GT(std::abs(dx(5.63)), 0.05);  // and the third
    EXPECT_EQ(dx(3.2 + 0.56), 0);
    EXPECT_EQ(makePose(BotState::error, 7, 0.03).glow, 0.8);
}

TEST(MascotPoseTest, BreathingAndSleepingStayWithinTheirOpacityBounds) {
    double low = 1, high = 0;
    for (double t = 0; t < 20; t += 0.01) {
        const double opacity = makePose(BotState::sleeping, t, 5).opacity;
        low = std::min(low, opacity);
        high = std::max(high, opacity);
    }
    EXPECT_NEAR(low, 0.23, 1e-4);
    EXPECT_NEAR(high, 0.47, 1e-4);
    EXPECT_NEAR(makePose(BotState::idle, kPi / 3.2, 0).opacity, 0.9, 1e-12);
    EXPECT_NEAR(makePose(BotState::idle, -kPi / 3.2, 0).opacity, 0.6, 1e-12);
    EXPECT_EQ(makePose(BotState::sleeping, 0, 0).glow, 0.1);
    EXPECT_EQ(makePose(BotState::idle, 0, 0).glow, 0.2);
}

TEST(MascotPoseTest, PopsPulsesAndTilts) {
    EXPECT_NEAR(makePose(BotState::finished, 0, 0.225).scale, 1.14, 1e-12);
    EXPECT_NEAR(makePose(BotState::finished, 0, 0.45).scale, 1, 1e-12);
    EXPECT_EQ(makePose(BotState::finished, 0, 0).glow, 1.0);
    EXPECT_NEAR(makePose(BotState::approval, kPi / 10, 0).scale, 1.06, 1e-12);
    EXPECT_EQ(makePose(BotState::approval, -kPi / 10, 0).scale, 1);  // never shrinks
    EXPECT_NEAR(makePose(BotState::question, kPi / 3, 0).angle, 0.14, 1e-12);
    EXPECT_NEAR(makePose(BotState::thinking, kPi / 4, 0).glow, 0.75, 1e-12);
    EXPECT_EQ(makePose(BotState::searching, 3, 3), Pose{});
}

TEST(MascotHighlightTest, GreetingOutlineDrawsItselfFastFirst) {
    EXPECT_EQ(highlightSpans(BotState::greeting, 0, 0).spans[0], (TrimSpan{0, 0}));
    EXPECT_NEAR(highlightSpans(BotState::greeting, 0, 0.35).spans[0].end, 0.875, 1e-12);
    EXPECT_EQ(highlightSpans(BotState::greeting, 0, 0.7).spans[0].end, 1);
    EXPECT_EQ(highlightSpans(BotState::greeting, 0, 99).spans[0].end, 1);
}

TEST(MascotHighlightTest, RunningPiecesMayPassTheEndOfTheOutline) {
    const Highlight thinking = highlightSpans(BotState::thinking, 0.9 / 0.55, 0);
    ASSERT_EQ(thinking.count, 1);
    EXPECT_NEAR(thinking.spans[0].start, 0.9, 1e-12);
    EXPECT_NEAR(thinking.spans[0].end, 1.24, 1e-12);

    const Highlight working = highlightSpans(BotState::working, 0.7 / 1.1, 0);
    ASSERT_EQ(working.count, 2);
    EXPECT_NEAR(working.spans[0].start, 0.7, 1e-12);
    EXPECT_NEAR(working.spans[0].end, 0.9, 1e-12);
    EXPECT_NEAR(working.spans[1].start, 0.2, 1e-12);
    EXPECT_NEAR(working.spans[1].end, 0.4, 1e-12);

    const Highlight searching = highlightSpans(BotState::searching, 0, 0);
    EXPECT_NEAR(searching.spans[0].start, 0.33, 1e-12);
    EXPECT_NEAR(searching.spans[0].end, 0.59, 1e-12);
    // Swinging back below zero wraps to the end of the outline.
    const Highlight back = highlightSpans(BotState::searching, -kPi / 4.2, 0);
    EXPECT_NEAR(back.spans[0].start, 0.03, 1e-12);

    for (BotState state : {BotState::idle, BotState::approval, BotState::question,
                           BotState::finished, BotState::error, BotState::sleeping}) {
        const Highlight whole = highlightSpans(state, 12.3, 4.5);
        EXPECT_EQ(whole.count, 1);
        EXPECT_EQ(whole.spans[0], (TrimSpan{0, 1}));
    }
}

TEST(MascotStillTest, SettledAndRestingMascotsNeedNoFrames) {
    constexpr double kForever = INFINITY;
    const struct {
        BotState state;
        double since;
        double still;
    } rows[] = {
        {BotState::working, 100, 0},   {BotState::idle, 100, 0},  // always in motion
        {BotState::greeting, 0.69, 0}, {BotState::greeting, 0.7, kForever},
        {BotState::finished, 0.89, 0}, {BotState::finished, 0.9, kForever},
        {BotState::error, 0.5, 0},     {BotState::error, 0.6, 0.2},   // until the shake at 0.8
        {BotState::error, 3.3, 0},     {BotState::error, 3.8, 1.8},   // until the one at 5.6
        {BotState::sleeping, 0.3, 0},  {BotState::finished, 0.3, 0},  // colour still sliding
    };
    for (const auto& row : rows) {
        const double still = mascotStillFor(row.state, row.since);
        if (std::isinf(row.still)) {
            EXPECT_TRUE(std::isinf(still)) << rawValue(row.state) << " " << row.since;
        } else {
            EXPECT_NEAR(still, row.still, 1e-9) << rawValue(row.state) << " " << row.since;
        }
    }
}

TEST(MascotEasingTest, FracAndDrawnFraction) {
    EXPECT_DOUBLE_EQ(frac(2.25), 0.25);
    EXPECT_DOUBLE_EQ(frac(-0.25), 0.75);
    EXPECT_EQ(drawnFraction(-1), 0);
    EXPECT_DOUBLE_EQ(drawnFraction(0.5), 0.875);
    EXPECT_EQ(drawnFraction(2), 1);
}

}  // namespace
}  // namespace brimwick
