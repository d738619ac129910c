#include "island/island_geometry.h"

#include <gtest/gtest.h>

#include <cmath>

namespace brimwick {
namespace {

// A laptop screen with a camera housing from x 660 to 852 (relative to the screen) and a
// 38-point safe area, placed at `originX` on the desktop.
ScreenMeasurements notched(double originX, bool globalAreas) {
    ScreenMeasurements screen;
    screen.frame = {originX, 0, 1512, 982};
    screen.visibleFrame = {originX, 38, 1512, 944};
    screen.safeAreaTop = 38;
    const double offset = globalAreas ? originX : 0;
    screen.auxiliaryTopLeft = Rect{offset + 0, 0, 660, 38};
    screen.auxiliaryTopRight = Rect{offset + 852, 0, 660, 38};
    return screen;
}

ScreenMeasurements plain(Rect frame, double barHeight) {
    ScreenMeasurements screen;
    screen.frame = frame;
    screen.visibleFrame = {frame.x, frame.y + barHeight, frame.width, frame.height - barHeight};
    return screen;
}

TEST(IslandGeometryTest, NotchEdgesComeFromTheAreasBesideTheHousing) {
    const IslandGeometry g = IslandGeometry::measure({notched(0, true)});
    EXPECT_TRUE(g.hasHousing);
    EXPECT_EQ(g.housingLeftX, 660);
    EXPECT_EQ(g.housingRightX, 852);
    EXPECT_EQ(g.height, 38);
    EXPECT_EQ(g.screenFrame, (Rect{0, 0, 1512, 982}));
}

TEST(IslandGeometryTest, AreasInGlobalOrScreenCoordinatesGiveTheSameEdges) {
    // Off the desktop's origin the two conventions differ in the numbers reported.
    const IslandGeometry global = IslandGeometry::measure({notched(1920, true)});
    const IslandGeometry relative = IslandGeometry::measure({notched(1920, false)});
    EXPECT_EQ(global, relative);
    EXPECT_EQ(global.housingLeftX, 1920 + 660);
    EXPECT_EQ(global.housingRightX, 1920 + 852);
}

TEST(IslandGeometryTest, WithoutAreasTheNotchIsTwoHundredWideAtTheCentre) {
    ScreenMeasurements screen = notched(0, true);
    screen.auxiliaryTopLeft.reset();
    screen.auxiliaryTopRight = Rect{900, 0, 0, 38};  // zero width counts as absent
    const IslandGeometry g = IslandGeometry::measure({screen});
    EXPECT_EQ(g.housingLeftX, 756 - 100);
    EXPECT_EQ(g.housingRightX, 756 + 100);
}

TEST(IslandGeometryTest, NotchedScreenListedSecondIsStillChosen) {
    const IslandGeometry g =
        IslandGeometry::measure({plain({-2560, 0, 2560, 1440}, 30), notched(0, true)});
    EXPECT_TRUE(g.hasHousing);
    EXPECT_EQ(g.screenFrame, (Rect{0, 0, 1512, 982}));
    EXPECT_EQ(g.housingLeftX, 660);
}

TEST(IslandGeometryTest, PlainScreenGetsAZeroWidthNotchAtTheCentreOfTheFirstScreen) {
    const IslandGeometry g =
        IslandGeometry::measure({plain({100, 0, 1440, 900}, 32), plain({1540, 0, 800, 600}, 0)});
    EXPECT_FALSE(g.hasHousing);
    EXPECT_EQ(g.housingLeftX, 820);
    EXPECT_EQ(g.housingRightX, 820);
    EXPECT_EQ(g.housingWidth(), 0);
    EXPECT_EQ(g.height, 32);
    EXPECT_EQ(g.screenFrame, (Rect{100, 0, 1440, 900}));
}

TEST(IslandGeometryTest, TopPanelHeightIsClampedToTwentyFourThroughForty) {
    EXPECT_EQ(IslandGeometry::measure({plain({0, 0, 1440, 900}, 22)}).height, 24);
    EXPECT_EQ(IslandGeometry::measure({plain({0, 0, 1440, 900}, 44)}).height, 40);
    EXPECT_EQ(IslandGeometry::measure({plain({0, 0, 1440, 900}, 0)}).height, 24);
    EXPECT_EQ(IslandGeometry::measure({plain({0, 0, 1440, 900}, 40)}).height, 40);
    // A visible frame reported above the screen (nonsense) still gives the minimum.
    EXPECT_EQ(IslandGeometry::measure({plain({0, 0, 1440, 900}, -10)}).height, 24);
    EXPECT_EQ(IslandGeometry::measure({plain({0, 0, 1440, 900}, std::nan(""))}).height, 24);
}

TEST(IslandGeometryTest, NoScreensAtAllGivesTheFallbackScreen) {
    const IslandGeometry g = IslandGeometry::measure({});
    EXPECT_EQ(g.screenFrame, (Rect{0, 0, 1440, 900}));
    EXPECT_EQ(g.housingLeftX, 720);
    EXPECT_EQ(g.housingRightX, 720);
    EXPECT_EQ(g.height, 24);
    EXPECT_FALSE(g.hasHousing);
}

}  // namespace
}  // namespace brimwick
