#include "island/usage_ear_model.h"

#include <gtest/gtest.h>

#include "island/view_effects.h"

namespace brimwick {
namespace {

UsageLimit used(double fraction) {
    return {fraction, std::nullopt};
}

TEST(UsageTintTest, NearWhiteThenAmberThenRedByTheShareLeft) {
    const Rgb white{0.93, 0.94, 0.96};
    const Rgb amber{1.0, 0.76, 0.36};
    const Rgb red{1.0, 0.45, 0.48};
    EXPECT_EQ(usageTint(fractionLeft(used(0.0))), white);
    EXPECT_EQ(usageTint(fractionLeft(used(0.8))), amber);
    EXPECT_EQ(usageTint(fractionLeft(used(0.95))), red);
    EXPECT_EQ(usageTint(0.25), amber);  // exactly a quarter left is already amber
    EXPECT_EQ(usageTint(0.2500001), white);
    EXPECT_EQ(usageTint(0.10), red);  // exactly a tenth left is red
    EXPECT_EQ(usageTint(0.1000001), amber);
    EXPECT_EQ(weekTextColor(0.5), (TextColor{{1, 1, 1}, 0.55}));
    EXPECT_EQ(weekTextColor(0.2), (TextColor{amber, 1}));
    EXPECT_EQ(weekTextColor(0.05), (TextColor{red, 1}));
    EXPECT_EQ(fractionLeft(used(1.0)), 0);
}

TEST(UsageTextTest, RingShowsTheSessionFirstAndTextsNameBothWindows) {
    PlanUsage usage;
    usage.week = used(0.57);
    EXPECT_EQ(ringLimit(usage), usage.week);
    EXPECT_EQ(weekText(*usage.week), "wk 43%");
    EXPECT_EQ(usageAccessibilityText(usage), "week 43% left");
    usage.session = used(0.425);
    EXPECT_EQ(ringLimit(usage), usage.session);
    EXPECT_EQ(usageAccessibilityText(usage), "Session 58% left, week 43% left");
    usage.week.reset();
    EXPECT_EQ(usageAccessibilityText(usage), "Session 58% left");
    EXPECT_EQ(usageAccessibilityText(PlanUsage{}), "Usage");
}

TEST(RingReactionTest, FlashForANewFigureRippleForAReset) {
    EXPECT_EQ(ringReaction(100, 97, false), RingReaction::flash);
    EXPECT_EQ(ringReaction(3, 100, false), RingReaction::ripple);
    EXPECT_EQ(ringReaction(40, 40, false), RingReaction::none);
    EXPECT_EQ(ringReaction(100, 97, true), RingReaction::none);
    EXPECT_EQ(ringReaction(3, 100, true), RingReaction::none);
}

TEST(ViewEffectsTest, FlashAndRippleShowOnlyBetweenWholeCounts) {
    EXPECT_EQ(Flash{0}.effect().opacity, 0);
    EXPECT_NEAR(Flash{3}.effect().opacity, 0, 1e-12);
    EXPECT_NEAR(Flash{0.5}.effect().opacity, 0.9, 1e-12);
    EXPECT_EQ(Ripple{2}.effect(), (Effect{1, 0, 0}));
    const Effect half = Ripple{2.5}.effect();
    EXPECT_DOUBLE_EQ(half.scale, 1.2);
    EXPECT_DOUBLE_EQ(half.opacity, 0.4);
}

TEST(ViewEffectsTest, PoofSwellsBlursAndFades) {
    EXPECT_EQ(PoofModifier{0}.effect(), (Effect{1, 1, 0}));
    EXPECT_EQ(PoofModifier{1}.effect(), (Effect{1.6, 0, 6}));
    // A spring overshooting past 1 doesn't bring the mascot back.
    EXPECT_EQ(PoofModifier{1.08}.effect(), (Effect{1.6, 0, 6}));
}

TEST(ViewEffectsTest, PressedButtonsShrinkOrDimWithReduceMotion) {
    PressableStyle style(false);
    style.setPressed(true, 0);
    EXPECT_TRUE(style.isMoving(0.05));
    EXPECT_NEAR(style.effect(5).scale, 0.9, 1e-12);
    EXPECT_EQ(style.effect(5).opacity, 1);
    style.setPressed(false, 5);
    EXPECT_EQ(style.effect(10), (Effect{1, 1, 0}));

    PressableStyle still(true);
    still.setPressed(true, 0);
    EXPECT_EQ(still.effect(5).scale, 1);
    EXPECT_NEAR(still.effect(5).opacity, 0.7, 1e-12);
}

}  // namespace
}  // namespace brimwick
