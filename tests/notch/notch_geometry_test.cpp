#include "notch/notch_geometry.h"

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

TEST(NotchGeometryTest, NotchEdgesComeFromTheAreasBesideTheHousing) {
    const NotchGeometry g = NotchGeometry::measure({notched(0, true)});
    EXPECT_TRUE(g.hasNotch);
    EXPECT_EQ(g.notchLeftX, 660);
    EXPECT_EQ(g.notchRightX, 852);
    EXPECT_EQ(g.height, 38);
    EXPECT_EQ(g.screenFrame, (Rect{0, 0, 1512, 982}));
}

TEST(NotchGeometryTest, AreasInGlobalOrScreenCoordinatesGiveTheSameEdges) {
    // Off the desktop's origin the two conventions differ in the numbers reported.
    const NotchGeometry global = NotchGeometry::measure({notched(1920, true)});
    const NotchGeometry relative = NotchGeometry::measure({notched(1920, false)});
    EXPECT_EQ(global, relative);
    EXPECT_EQ(global.notchLeftX, 1920 + 660);
    EXPECT_EQ(global.notchRightX, 1920 + 852);
}

TEST(NotchGeometryTest, WithoutAreasTheNotchIsTwoHundredWideAtTheCentre) {
    ScreenMeasurements screen = notched(0, true);
    screen.auxiliaryTopLeft.reset();
    screen.auxiliaryTopRight = Rect{900, 0, 0, 38};  // zero width counts as absent
    const NotchGeometry g = NotchGeometry::measure({screen});
    EXPECT_EQ(g.notchLeftX, 756 - 100);
    EXPECT_EQ(g.notchRightX, 756 + 100);
}

TEST(NotchGeometryTest, NotchedScreenListedSecondIsStillChosen) {
    const NotchGeometry g =
        NotchGeometry::measure({plain({-2560, 0, 2560, 1440}, 30), notched(0, true)});
    EXPECT_TRUE(g.hasNotch);
    EXPECT_EQ(g.screenFrame, (Rect{0, 0, 1512, 982}));
    EXPECT_EQ(g.notchLeftX, 660);
}

TEST(NotchGeometryTest, PlainScreenGetsAZeroWidthNotchAtTheCentreOfTheFirstScreen) {
    const NotchGeometry g =
        NotchGeometry::measure({plain({100, 0, 1440, 900}, 32), plain({1540, 0, 800, 600}, 0)});
    EXPECT_FALSE(g.hasNotch);
    EXPECT_EQ(g.notchLeftX, 820);
    EXPECT_EQ(g.notchRightX, 820);
    EXPECT_EQ(g.notchWidth(), 0);
    EXPECT_EQ(g.height, 32);
    EXPECT_EQ(g.screenFrame, (Rect{100, 0, 1440, 900}));
}

TEST(NotchGeometryTest, TopPanelHeightIsClampedToTwentyFourThroughForty) {
    EXPECT_EQ(NotchGeometry::measure({plain({0, 0, 1440, 900}, 22)}).height, 24);
    EXPECT_EQ(NotchGeometry::measure({plain({0, 0, 1440, 900}, 44)}).height, 40);
    EXPECT_EQ(NotchGeometry::measure({plain({0, 0, 1440, 900}, 0)}).height, 24);
    EXPECT_EQ(NotchGeometry::measure({plain({0, 0, 1440, 900}, 40)}).height, 40);
    // A visible frame reported above the screen (nonsense) still gives the minimum.
    EXPECT_EQ(NotchGeometry::measure({plain({0, 0, 1440, 900}, -10)}).height, 24);
    EXPECT_EQ(NotchGeometry::measure({plain({0, 0, 1440, 900}, std::nan(""))}).height, 24);
}

TEST(NotchGeometryTest, NoScreensAtAllGivesTheFallbackScreen) {
    const NotchGeometry g = NotchGeometry::measure({});
    EXPECT_EQ(g.screenFrame, (Rect{0, 0, 1440, 900}));
    EXPECT_EQ(g.notchLeftX, 720);
    EXPECT_EQ(g.notchRightX, 720);
    EXPECT_EQ(g.height, 24);
    EXPECT_FALSE(g.hasNotch);
}

}  // namespace
}  // namespace brimwick
