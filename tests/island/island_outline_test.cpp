#include "island/island_outline.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace brimwick {
namespace {

const Rect kRow{10, 0, 489.6, 32};

TEST(IslandOutlineTest, SpansFromTheLeftReachToTheRightReach) {
    const IslandOutline o = IslandOutline::measure(kRow, {50, 9.6, 70, 240, 8, 13.44});
    EXPECT_FALSE(o.empty);
    EXPECT_DOUBLE_EQ(o.left, 10 + 240 - 50);
    EXPECT_DOUBLE_EQ(o.right, 10 + 240 + 9.6 + 70);
    EXPECT_EQ(o.top, 0);
    EXPECT_EQ(o.bottom, 32);
    EXPECT_EQ(o.flare, 8);
    EXPECT_DOUBLE_EQ(o.radius, 13.44);
}

TEST(IslandOutlineTest, NarrowIslandShrinksItsFlareAndCorners) {
    // 12 wide with a flare of 10: the flare drops to a quarter of the width, the corners to
    // what is left between the flares.
    const IslandOutline o = IslandOutline::measure(kRow, {12, 0, 0, 240, 10, 13.44});
    EXPECT_DOUBLE_EQ(o.flare, 3);
    EXPECT_DOUBLE_EQ(o.radius, (12 - 6) / 2.0);
    // Corners are never larger than half the height either.
    EXPECT_DOUBLE_EQ(IslandOutline::measure({0, 0, 500, 8}, {100, 0, 0, 240, 0, 13.44}).radius, 4);
    // And never negative.
    EXPECT_EQ(IslandOutline::measure(kRow, {40, 0, 0, 240, 0, -5}).radius, 0);
}

TEST(IslandOutlineTest, ZeroNegativeAndNotANumberReachesCountAsNothing) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_TRUE(IslandOutline::measure(kRow, {0, 0, 0, 240, 8, 13}).empty);
    EXPECT_TRUE(IslandOutline::measure(kRow, {nan, nan, nan, 240, 8, 13}).empty);
    EXPECT_TRUE(IslandOutline::measure(kRow, {-30, -5, -1, 240, 8, 13}).empty);
    const IslandOutline o = IslandOutline::measure(kRow, {nan, 0, 30, 240, nan, nan});
    EXPECT_FALSE(o.empty);
    EXPECT_DOUBLE_EQ(o.left, 250);
    EXPECT_DOUBLE_EQ(o.right, 280);
    EXPECT_EQ(o.flare, 0);
    EXPECT_EQ(o.radius, 0);
}

TEST(IslandOutlineTest, HalfAPointOrLessIsEmpty) {
    EXPECT_TRUE(IslandOutline::measure(kRow, {0.5, 0, 0, 240, 0, 10}).empty);
    EXPECT_TRUE(IslandOutline::measure(kRow, {0.25, 0, 0.25, 240, 0, 10}).empty);
    EXPECT_FALSE(IslandOutline::measure(kRow, {0.5, 0, 0.01, 240, 0, 10}).empty);
}

}  // namespace
}  // namespace brimwick
