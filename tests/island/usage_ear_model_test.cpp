// The usage ear's rules: tints by the share left, its texts, when the ring flashes or ripples,
// and the view effects (flash, ripple, poof, pressed buttons) as plain numbers.
#include "island/usage_ear_model.h"

#include <gtest/gtest.h>

#include "island/view_effects.h"

namespace brimwick {
namespace {

TEST(UsageEarModelTest, TintsTextsAndRingReactions) {
    const Rgb white{0.93, 0.94, 0.96}, amber{1.0, 0.76, 0.36}, red{1.0, 0.45, 0.48};
    EXPECT_EQ(usageTint(fractionLeft({0.8, {}})), amber);
    EXPECT_EQ(fractionLeft({1.2, {}}), 0);
    // Exactly a quarter left is already amber, exactly a tenth red.
    const std::pair<double, Rgb> tints[] = {{1, white},         {0.2500001, white}, {0.25, amber},
                                            {0.1000001, amber}, {0.1, red},         {0, red}};
    for (const auto& [left, tint] : tints) EXPECT_EQ(usageTint(left), tint) << left;
    EXPECT_EQ(weekTextColor(0.5), (TextColor{{1, 1, 1}, 0.55}));
    EXPECT_EQ(weekTextColor(0.2), (TextColor{amber, 1}));
    EXPECT_EQ(weekTextColor(0.05), (TextColor{red, 1}));

    PlanUsage usage{{}, UsageLimit{0.57, {}}};
    EXPECT_EQ(ringLimit(usage), usage.week);  // the five-hour window first, else the week
    EXPECT_EQ(weekText(*usage.week), "wk 43%");
    EXPECT_EQ(usageAccessibilityText(usage), "week 43% left");
    usage.session = UsageLimit{0.425, {}};
    EXPECT_EQ(ringLimit(usage), usage.session);
    EXPECT_EQ(usageAccessibilityText(usage), "Session 58% left, week 43% left");
    usage.week.reset();
    EXPECT_EQ(usageAccessibilityText(usage), "Session 58% left");
    EXPECT_EQ(usageAccessibilityText(PlanUsage{}), "Usage");

    EXPECT_EQ(ringReaction(100, 97, false), RingReaction::flash);
    EXPECT_EQ(ringReaction(3, 100, false), RingReaction::ripple);
    EXPECT_EQ(ringReaction(40, 40, false), RingReaction::none);
    EXPECT_EQ(ringReaction(100, 97, true), RingReaction::none);  // reduce motion
    EXPECT_EQ(ringReaction(3, 100, true), RingReaction::none);
}

TEST(ViewEffectsTest, FlashRipplePoofAndPressedButtons) {
    // Flash and ripple show only between whole counts.
    EXPECT_EQ(Flash{0}.effect().opacity, 0);
    EXPECT_NEAR(Flash{3}.effect().opacity, 0, 1e-12);
    EXPECT_NEAR(Flash{0.5}.effect().opacity, 0.9, 1e-12);
    EXPECT_EQ(Ripple{2}.effect(), (Effect{1, 0, 0}));
    EXPECT_DOUBLE_EQ(Ripple{2.5}.effect().scale, 1.2);
    EXPECT_DOUBLE_EQ(Ripple{2.5}.effect().opacity, 0.4);
    // A poof swells, blurs and fades; a spring overshooting past 1 doesn't bring it back.
    EXPECT_EQ(PoofModifier{0}.effect(), (Effect{1, 1, 0}));
    EXPECT_EQ(PoofModifier{1}.effect(), (Effect{1.6, 0, 6}));
    EXPECT_EQ(PoofModifier{1.08}.effect(), (Effect{1.6, 0, 6}));
    // Pressed buttons shrink on a spring, or dim with reduce motion.
    PressableStyle style(false), still(true);
    style.setPressed(true, 0);
    still.setPressed(true, 0);
    EXPECT_TRUE(style.isMoving(0.05));
    EXPECT_NEAR(style.effect(5).scale, 0.9, 1e-12);
    EXPECT_EQ(style.effect(5).opacity, 1);
    EXPECT_EQ(still.effect(5).scale, 1);
    EXPECT_NEAR(still.effect(5).opacity, 0.7, 1e-12);
    style.setPressed(false, 5);
    EXPECT_EQ(style.effect(10), (Effect{1, 1, 0}));
}

}  // namespace
}  // namespace brimwick
