#include "app/reduce_motion.h"

#include <gtest/gtest.h>

namespace brimwick {
namespace {

TEST(ReduceMotionTest, EachDesktopCanAskForIt) {
    EXPECT_FALSE(reduceMotionWanted({}));
    EXPECT_TRUE(reduceMotionWanted({"1", {}, {}}));
    EXPECT_FALSE(reduceMotionWanted({"0", {}, {}}));
    EXPECT_FALSE(reduceMotionWanted({"", {}, {}}));
    EXPECT_TRUE(reduceMotionWanted({{}, "false\n", {}}));
    EXPECT_FALSE(reduceMotionWanted({{}, "true\n", {}}));
    // gsettings prints an error (and nothing on stdout) without the schema.
    EXPECT_FALSE(reduceMotionWanted({{}, "", {}}));
    EXPECT_TRUE(reduceMotionWanted({{}, {}, "[KDE]\nAnimationDurationFactor=0\n"}));
    EXPECT_FALSE(reduceMotionWanted({{}, {}, "[KDE]\nAnimationDurationFactor=0.5\n"}));
}

TEST(ReduceMotionTest, KdeFactorIsReadFromItsOwnGroupOnly) {
    EXPECT_EQ(kdeAnimationDurationFactor("[General]\nAnimationDurationFactor=0\n"), std::nullopt);
    EXPECT_EQ(kdeAnimationDurationFactor("[General]\nfont=x\n\n[KDE]\n"
                                         "  AnimationDurationFactor = 0.25 \r\n[Icons]\nTheme=b"),
              0.25);
    EXPECT_EQ(kdeAnimationDurationFactor("[KDE]\nAnimationDurationFactor=\n"), std::nullopt);
    EXPECT_EQ(kdeAnimationDurationFactor("[KDE]\nAnimationDurationFactor=slow\n"), std::nullopt);
    EXPECT_EQ(kdeAnimationDurationFactor("[KDE]\nAnimationDurationFactor=nan\n"), std::nullopt);
    EXPECT_EQ(kdeAnimationDurationFactor("[KDE]\nAnimationDurationFactorX=0\n"), std::nullopt);
    EXPECT_EQ(kdeAnimationDurationFactor("[KDE]\nAnimationDurationFactor=1\n"
                                         "AnimationDurationFactor=0\n"),
              0.0);
    EXPECT_EQ(kdeAnimationDurationFactor(""), std::nullopt);
}

}  // namespace
}  // namespace brimwick
