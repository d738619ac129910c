#include "island/island_layout.h"

#include <gtest/gtest.h>

#include "island/island_outline.h"

namespace brimwick {
namespace {

IslandGeometry plainScreen(double height = 32) {
    return IslandGeometry::measure({ScreenMeasurements{
        {0, 0, 1440, 900}, {0, height, 1440, 900 - height}, 0, std::nullopt, std::nullopt}});
}

IslandGeometry housingScreen() {
    IslandGeometry g;
    g.screenFrame = {0, 0, 1512, 982};
    g.housingLeftX = 660;
    g.housingRightX = 852;
    g.height = 38;
    g.hasHousing = true;
    return g;
}

PlanUsage figures(bool session, bool week) {
    PlanUsage usage;
    if (session) usage.session = UsageLimit{0.4, std::nullopt};
    if (week) usage.week = UsageLimit{0.2, std::nullopt};
    return usage;
}

TEST(PanelFrameTest, HangsFromTheTopCentredOnTheHousing) {
    // A 1440 × 900 screen with a 32-point top panel: h = 32.
    EXPECT_EQ(panelFrame(plainScreen(32)), (Rect{464, 0, 512, 46}));
    // With a housing: 192 + 38 + 480 wide, centred on the housing.
    EXPECT_EQ(panelFrame(housingScreen()), (Rect{756 - 355, 0, 710, 52}));
    // A screen lower on the desktop: the panel still touches its top edge.
    IslandGeometry below = plainScreen(24);
    below.screenFrame.y = 1080;
    EXPECT_EQ(panelFrame(below).y, 1080);
}

TEST(IslandEarsTest, SessionEarWhileThereAreSessionsUsageEarWhileThereAreFigures) {
    EXPECT_EQ(islandEars(false, true, std::nullopt), (IslandEars{false, false}));
    EXPECT_EQ(islandEars(true, true, std::nullopt), (IslandEars{true, false}));
    EXPECT_EQ(islandEars(false, true, figures(true, false)), (IslandEars{false, true}));
    EXPECT_EQ(islandEars(false, true, figures(false, true)), (IslandEars{false, true}));
    EXPECT_EQ(islandEars(true, true, figures(true, true)), (IslandEars{true, true}));
    // Figures without either window, or usage switched off: no usage ear.
    EXPECT_EQ(islandEars(true, true, figures(false, false)), (IslandEars{true, false}));
    EXPECT_EQ(islandEars(true, false, figures(true, true)), (IslandEars{true, false}));
}

TEST(IslandMiddleTest, BridgeAcrossTheHousingOrBetweenTwoEars) {
    const IslandGeometry plain = plainScreen(32);
    EXPECT_DOUBLE_EQ(islandMiddle(plain, {true, true}), 0.3 * 32);
    EXPECT_EQ(islandMiddle(plain, {true, false}), 0);
    EXPECT_EQ(islandMiddle(plain, {false, true}), 0);
    EXPECT_EQ(islandMiddle(plain, {false, false}), 0);
    const IslandGeometry housing = housingScreen();
    EXPECT_EQ(islandMiddle(housing, {true, false}), 192);
    EXPECT_EQ(islandMiddle(housing, {true, true}), 192);
    EXPECT_EQ(islandMiddle(housing, {false, false}), 0);
    EXPECT_DOUBLE_EQ(islandFlare(housing), 0.28 * 38);
    EXPECT_EQ(islandFlare(plain), 0);
}

TEST(IslandMiddleTest, TwoEarsOnAPlainScreenMeetAcrossTheBridge) {
    const IslandGeometry g = plainScreen(32);
    const IslandEars both{true, true};
    const double middle = islandMiddle(g, both);
    const Rect panel = panelFrame(g);
    const double row = islandRowX(panel.width, middle);
    // The row (two columns and the bridge) is centred in the panel.
    EXPECT_DOUBLE_EQ(row + kEarColumnWidth + middle / 2, panel.width / 2);
    // The island's shape spans from the session ear's leading edge to the usage ear's end.
    const double left = sessionEarWidth(32, 0, false, 1);
    const double right = usageEarWidth(32, 0, 40);
    const IslandOutline outline = IslandOutline::measure(
        {row, 0, 2 * kEarColumnWidth + middle, 32}, {left, middle, right, kEarColumnWidth, 0, 0});
    EXPECT_DOUBLE_EQ(outline.left, row + kEarColumnWidth - left);
    EXPECT_DOUBLE_EQ(outline.right - outline.left, left + 0.3 * 32 + right);
}

TEST(EarWidthTest, PaddingItemsAndSpacingAreMultiplesOfTheUnit) {
    const double h = 32;
    const double item = 1.1 * 0.64 * h;
    EXPECT_DOUBLE_EQ(sessionEarWidth(h, 0, false, 1), 0.2 * h + item + 0.14 * h);
    EXPECT_DOUBLE_EQ(sessionEarWidth(h, 0, true, 1), 0.2 * h + 2 * item + 0.16 * h + 0.14 * h);
    EXPECT_DOUBLE_EQ(sessionEarWidth(h, 5, false, 1) - sessionEarWidth(h, 0, false, 1), 5);
    EXPECT_DOUBLE_EQ(usageEarWidth(h, 0, 30), 0.14 * h + item + 0.18 * h + 30 + 0.24 * h);
    EXPECT_DOUBLE_EQ(usageEarWidth(h, 3, 30) - usageEarWidth(h, 0, 30), 3);
}

TEST(EarHitTest, PointerOverAnEarInDesktopCoordinates) {
    const Rect panel{464, 0, 512, 46};
    const Rect sessions{200, 0, 40, 32};
    const Rect usage{249.6, 0, 60, 32};
    EXPECT_EQ(hitEars(panel, sessions, usage, 464 + 220, 10), (EarHits{true, false}));
    EXPECT_EQ(hitEars(panel, sessions, usage, 464 + 260, 10), (EarHits{false, true}));
    // Between the ears, below them, left of them: nothing.
    EXPECT_FALSE(hitEars(panel, sessions, usage, 464 + 245, 10).any());
    EXPECT_FALSE(hitEars(panel, sessions, usage, 464 + 220, 40).any());
    EXPECT_FALSE(hitEars(panel, sessions, usage, 464 + 199, 10).any());
    // Zero frames (ears not shown) are never hit, even at their origin.
    EXPECT_FALSE(hitEars(panel, {}, {}, 464, 0).any());
}

TEST(IslandLayoutTest, HoverFlagsArePublishedOnlyWhenTheyChange) {
    IslandLayout layout(plainScreen());
    int published = 0;
    Subscription subscription = layout.changed.connect([&] { ++published; });
    const Rect panel{464, 0, 512, 46};
    layout.sessionsFrame = {200, 0, 40, 32};
    layout.usageFrame = {249.6, 0, 60, 32};
    auto move = [&](double x, double y) {
        const EarHits hits = hitEars(panel, layout.sessionsFrame, layout.usageFrame, x, y);
        layout.setHovering(hits.session, hits.usage);
        return hits;
    };
    move(10, 500);
    EXPECT_EQ(published, 0);
    EXPECT_TRUE(move(464 + 210, 5).any());
    EXPECT_TRUE(layout.hoveringSessions());
    move(464 + 230, 20);  // still over the session ear
    EXPECT_EQ(published, 1);
    // Straight from one ear onto the other: both flags flip at once, clicks still taken.
    EXPECT_TRUE(move(464 + 300, 20).any());
    EXPECT_FALSE(layout.hoveringSessions());
    EXPECT_TRUE(layout.hoveringUsage());
    EXPECT_EQ(published, 2);
    EXPECT_FALSE(move(10, 500).any());
    EXPECT_EQ(published, 3);
    layout.setGeometry(plainScreen());
    EXPECT_EQ(published, 3);
    layout.setGeometry(plainScreen(40));
    EXPECT_EQ(published, 4);
}

}  // namespace
}  // namespace brimwick
