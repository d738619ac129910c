// The mascot's timing maths at the instants where a wrong formula shows: each state's key poses,
// the highlight pieces (wrapping included), the centre's motion, stillness and the colour slide.
#include "mascot/mascot_motion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "mascot/mascot_palette.h"

namespace brimwick {
namespace {

constexpr double kPi = std::numbers::pi;
using enum BotState;

struct Row {
    BotState state;
    double t, since;
    std::vector<double> want;
};

void expectNear(const std::vector<double>& actual, const Row& row) {
    for (std::size_t i = 0; i < row.want.size(); ++i) {
        EXPECT_NEAR(actual[i], row.want[i], 1e-9)
            << rawValue(row.state) << " at " << row.t << ", " << row.since << " [" << i << "]";
    }
}

TEST(MascotMotionTest, PosesAndCentresAtTheirKeyInstants) {
    // clang-format off
    const Row poses[] = {  // state, t, since: dx, angle, scale, opacity, glow
        {greeting, 5, 0, {0, -kPi / 3, 1, 1, 0.5}}, {greeting, 5, 0.3, {0, -kPi / 6, 1.06, 1, 0.5}},
        {greeting, 5, 0.6, {0, 0, 1, 1, 0.5}},        {greeting, 5, 10, {0, 0, 1, 1, 0.5}},
        {idle, kPi / 3.2, 0, {0, 0, 1, 0.9, 0.2}},    {idle, -kPi / 3.2, 0, {0, 0, 1, 0.6, 0.2}},
        {thinking, kPi / 4, 0, {0, 0, 1, 1, 0.75}},   {working, 0.21, 0, {0, kPi / 6, 1, 1, 0.75}},
        {searching, 3, 3, {0, 0, 1, 1, 0.6}},         {approval, kPi / 10, 0, {0, 0, 1.06, 1, 0.9}},
        {approval, -kPi / 10, 0, {0, 0, 1, 1, 0.9}},  {question, kPi / 3, 0, {0, 0.14, 1, 1, 0.6}},
        {finished, 0, 0.225, {0, 0, 1.14, 1, 1}},     {finished, 0, 0.45, {0, 0, 1, 1, 1}},
        {error, 7, 0, {0, 0, 1, 1, 0.8}},           {sleeping, kPi / 1.6, 5, {0, 0, 1, 0.47, 0.1}},
        {sleeping, -kPi / 1.6, 5, {0, 0, 1, 0.23, 0.1}}};
    const Row centres[] = {  // state, t, since: dot, ripple, ripple opacity, fill, check, ring
        {idle, 3, 3, {0.16, 0, 0, 1, 1, 1}}, {thinking, kPi / 8, 0, {0.18, 0, 0, 1, 1, 1}},
        {approval, 0.7, 0, {0.16, 0.5, 0.25, 1, 1, 1}},
        {question, kPi / 8, 0, {0.16, 0, 0, 1, 1, 1}},
        {question, -kPi / 8, 0, {0.16, 0, 0, 0.75, 1, 1}}, {finished, 0, 2, {0.16, 0, 0, 1, 1, 1}},
        {finished, 0, 0.25, {0.16, 0, 0, 1, 0.875, 0.25 / 0.9}}};
    // clang-format on
    for (const Row& row : poses) {
        const Pose p = makePose(row.state, row.t, row.since);
        expectNear({p.dx, p.angle, p.scale, p.opacity, p.glow}, row);
    }
    for (const Row& row : centres) {
        const CenterMotion m = centerMotion(row.state, row.t, row.since);
        expectNear({m.dot, m.ripple, m.rippleOpacity, m.fill, m.check, m.ring}, row);
    }
    // The error shakes on entry, at 3.2 s and every 2.4 s after, each for 0.55 s.
    const double shake = 0.18 * std::sin(48 * 0.03) * (1 - 0.03 / 0.55);
    for (double since : {0.03, 3.23, 5.63}) EXPECT_NEAR(makePose(error, 7, since).dx, shake, 1e-9);
    for (double since : {0.55, 0.7, 3.0, 3.76}) EXPECT_EQ(makePose(error, 7, since).dx, 0);
    // The working turn: 60° per 1.2 s cycle, smooth-stepped over its first 0.42 s.
    const double turns[][2] = {
        {0.105, kPi / 3 * 0.15625}, {0.42, kPi / 3}, {1.19, kPi / 3}, {6.42, 2 * kPi}};
    for (const auto& [t, angle] : turns) EXPECT_NEAR(hexTurnAngle(t), angle, 1e-9) << t;
}

TEST(MascotMotionTest, HighlightPiecesStillnessAndColourSlide) {
    // clang-format off
    const Row pieces[] = {  // state, t, since: start and end of each piece (the end may pass 1)
        {greeting, 0, 0, {0, 0}}, {greeting, 0, 0.35, {0, 0.875}}, {greeting, 0, 0.7, {0, 1}},
        {greeting, 0, 99, {0, 1}}, {thinking, 0.9 / 0.55, 0, {0.9, 1.24}},
        {working, 0.7 / 1.1, 0, {0.7, 0.9, 0.2, 0.4}}, {searching, 0, 0, {0.33, 0.59}},
        {searching, -kPi / 4.2, 0, {0.03, 0.29}}};
    const Row stillness[] = {  // state, since: seconds it looks the same (0 while it moves)
        {working, 0, 100, {0}}, {idle, 0, 100, {0}}, {greeting, 0, 0.69, {0}},
        {finished, 0, 0.89, {0}}, {error, 0, 0.5, {0}}, {error, 0, 0.6, {0.2}},
        {error, 0, 3.3, {0}}, {error, 0, 3.8, {1.8}},  // until the shakes at 0.8 and 5.6
        {sleeping, 0, 0.3, {0}}, {finished, 0, 0.3, {0}}};  // the colour still sliding
    // clang-format on
    for (const Row& row : pieces) {
        const Highlight h = highlightSpans(row.state, row.t, row.since);
        ASSERT_EQ(h.count * 2, int(row.want.size())) << rawValue(row.state);
        expectNear({h.spans[0].start, h.spans[0].end, h.spans[1].start, h.spans[1].end}, row);
    }
    for (BotState state : {idle, approval, question, finished, error, sleeping}) {
        const Highlight whole = highlightSpans(state, 12.3, 4.5);
        EXPECT_TRUE(whole.count == 1 && whole.spans[0] == (TrimSpan{0, 1})) << rawValue(state);
    }
    EXPECT_EQ(drawnFraction(-1), 0);
    EXPECT_DOUBLE_EQ(frac(-0.25), 0.75);
    for (const Row& row : stillness) expectNear({mascotStillFor(row.state, row.since)}, row);
    EXPECT_TRUE(std::isinf(mascotStillFor(greeting, 0.7)));  // settled for good
    EXPECT_TRUE(std::isinf(mascotStillFor(finished, 0.9)));

    const Rgb a = paletteColor(working), b = paletteColor(finished);
    EXPECT_EQ(mix({0, 0.25, 1}, {1, 0.75, 0}, 0.5), (Rgb{0.5, 0.5, 0.5}));
    const double blends[][2] = {{-3, 0}, {0, 0}, {0.175, 0.5}, {0.35, 1}, {1e9, 1}, {INFINITY, 1}};
    for (const auto& [since, k] : blends) {
        EXPECT_EQ(blendedTint(working, finished, since), mix(a, b, k)) << since;
    }
    // A change stamped in the future counts as now; the seed shifts the phase by 100 s per unit.
    const Instant now = kAnimationEpoch + 1000;
    EXPECT_DOUBLE_EQ(mascotTimes(now, now - 2.5, 0).since, 2.5);
    EXPECT_EQ(mascotTimes(now, now + 30, 0).since, 0);
    EXPECT_DOUBLE_EQ(mascotTimes(now, now, 0.25).t, 1025);
}

}  // namespace
}  // namespace brimwick
