// Where the island goes and how big it is: the housing's edges from the screens, the panel's
// frame, which ears show, the bridge, the ears' widths, hits and hover, the outline's clamps.
#include "island/island_layout.h"

#include <gtest/gtest.h>

#include <cmath>

#include "island/island_outline.h"

namespace brimwick {
namespace {

// A laptop screen at `x` with a camera housing from 660 to 852 (relative to the screen) and a
// 38-point safe area; the areas beside it in desktop or screen coordinates.
ScreenMeasurements notched(double x, bool desktopAreas = true) {
    const double offset = desktopAreas ? x : 0;
    return {{x, 0, 1512, 982},
            {x, 38, 1512, 944},
            38,
            Rect{offset, 0, 660, 38},
            Rect{offset + 852, 0, 660, 38}};
}

ScreenMeasurements plain(Rect frame, double bar) {
    return {frame, {frame.x, frame.y + bar, frame.width, frame.height - bar}, 0, {}, {}};
}

IslandGeometry plainScreen(double height = 32) {
    return IslandGeometry::measure({plain({0, 0, 1440, 900}, height)});
}

const IslandGeometry kHousing{{0, 0, 1512, 982}, 660, 852, 38, true};

TEST(IslandGeometryTest, HousingEdgesAndUnitFromTheScreens) {
    ScreenMeasurements noAreas = notched(0);
    noAreas.auxiliaryTopLeft.reset();
    noAreas.auxiliaryTopRight = Rect{900, 0, 0, 38};  // zero width counts as absent
    const IslandGeometry atOrigin{{0, 0, 1440, 900}, 720, 720, 24, false};
    const struct {
        const char* name;
        std::vector<ScreenMeasurements> screens;
        IslandGeometry want;
    } rows[] = {
        {"notch beside the areas", {notched(0)}, kHousing},
        {"areas in desktop coordinates",
         {notched(1920)},
         {{1920, 0, 1512, 982}, 2580, 2772, 38, true}},
        {"areas in screen coordinates",
         {notched(1920, false)},
         {{1920, 0, 1512, 982}, 2580, 2772, 38, true}},
        {"no areas: 200 wide at the centre", {noAreas}, {{0, 0, 1512, 982}, 656, 856, 38, true}},
        {"notched screen listed second", {plain({-2560, 0, 2560, 1440}, 30), notched(0)}, kHousing},
        {"plain: zero-width notch at the first screen's centre",
         {plain({100, 0, 1440, 900}, 32), plain({1540, 0, 800, 600}, 0)},
         {{100, 0, 1440, 900}, 820, 820, 32, false}},
        {"top panel below 24", {plain({0, 0, 1440, 900}, 22)}, atOrigin},
        {"top panel above 40",
         {plain({0, 0, 1440, 900}, 44)},
         {{0, 0, 1440, 900}, 720, 720, 40, false}},
        {"top panel of 40",
         {plain({0, 0, 1440, 900}, 40)},
         {{0, 0, 1440, 900}, 720, 720, 40, false}},
        {"no top panel", {plain({0, 0, 1440, 900}, 0)}, atOrigin},
        {"visible frame above the screen", {plain({0, 0, 1440, 900}, -10)}, atOrigin},
        {"not a number", {plain({0, 0, 1440, 900}, std::nan(""))}, atOrigin},
        {"no screens at all", {}, atOrigin},
    };
    for (const auto& row : rows)
        EXPECT_EQ(IslandGeometry::measure(row.screens), row.want) << row.name;
}

TEST(IslandLayoutTest, PanelEarsBridgeAndWidths) {
    // h + 480 wide (plus the housing), h + 14 high, centred on the housing at the screen's top.
    EXPECT_EQ(panelFrame(plainScreen(32)), (Rect{464, 0, 512, 46}));
    EXPECT_EQ(panelFrame(kHousing), (Rect{756 - 355, 0, 710, 52}));
    IslandGeometry below = plainScreen(24);
    below.screenFrame.y = 1080;
    EXPECT_EQ(panelFrame(below).y, 1080);

    const PlanUsage both{UsageLimit{0.4, {}}, UsageLimit{0.2, {}}};
    const PlanUsage session{UsageLimit{0.4, {}}, {}}, week{{}, UsageLimit{0.2, {}}};
    EXPECT_EQ(islandEars(false, true, std::nullopt), (IslandEars{false, false}));
    EXPECT_EQ(islandEars(true, true, std::nullopt), (IslandEars{true, false}));
    EXPECT_EQ(islandEars(false, true, session), (IslandEars{false, true}));
    EXPECT_EQ(islandEars(false, true, week), (IslandEars{false, true}));
    EXPECT_EQ(islandEars(true, true, both), (IslandEars{true, true}));
    EXPECT_EQ(islandEars(true, true, PlanUsage{}), (IslandEars{true, false}));  // no window
    EXPECT_EQ(islandEars(true, false, both), (IslandEars{true, false}));        // switched off

    const IslandGeometry g = plainScreen(32);
    EXPECT_DOUBLE_EQ(islandMiddle(g, {true, true}), 0.3 * 32);
    for (IslandEars ears : {IslandEars{true, false}, {false, true}, {false, false}}) {
        EXPECT_EQ(islandMiddle(g, ears), 0);
    }
    EXPECT_EQ(islandMiddle(kHousing, {true, false}), 192);
    EXPECT_EQ(islandMiddle(kHousing, {true, true}), 192);
    EXPECT_EQ(islandMiddle(kHousing, {false, false}), 0);
    EXPECT_DOUBLE_EQ(islandFlare(kHousing), 0.28 * 38);
    EXPECT_EQ(islandFlare(g), 0);

    // Two ears on a plain screen: the row is centred, the shape spans both ears and the bridge.
    const double middle = 0.3 * 32, row = islandRowX(512, middle);
    EXPECT_DOUBLE_EQ(row + kEarColumnWidth + middle / 2, 256);
    const double left = sessionEarWidth(32, 0, false, 1), right = usageEarWidth(32, 0, 40);
    const IslandOutline o = IslandOutline::measure({row, 0, 2 * kEarColumnWidth + middle, 32},
                                                   {left, middle, right, kEarColumnWidth, 0, 0});
    EXPECT_DOUBLE_EQ(o.left, row + kEarColumnWidth - left);
    EXPECT_DOUBLE_EQ(o.right - o.left, left + middle + right);

    const double h = 32, item = 1.1 * 0.64 * h;
    EXPECT_DOUBLE_EQ(left, 0.2 * h + item + 0.14 * h);
    EXPECT_DOUBLE_EQ(sessionEarWidth(h, 0, true, 1), 0.2 * h + 2 * item + 0.16 * h + 0.14 * h);
    EXPECT_DOUBLE_EQ(sessionEarWidth(h, 5, false, 1) - left, 5);
    EXPECT_DOUBLE_EQ(usageEarWidth(h, 0, 30), 0.14 * h + item + 0.18 * h + 30 + 0.24 * h);
    EXPECT_DOUBLE_EQ(usageEarWidth(h, 3, 30) - usageEarWidth(h, 0, 30), 3);
}

TEST(IslandLayoutTest, HoverFlagsArePublishedOnlyWhenTheyChange) {
    IslandLayout layout(plainScreen());
    int published = 0;
    Subscription subscription = layout.changed.connect([&] { ++published; });
    layout.sessionsFrame = {200, 0, 40, 32};
    layout.usageFrame = {249.6, 0, 60, 32};
    auto move = [&](double x, double y) {  // in the panel at {464, 0, 512, 46}
        const EarHits hits =
            hitEars({464, 0, 512, 46}, layout.sessionsFrame, layout.usageFrame, 464 + x, y);
        layout.setHovering(hits.session, hits.usage);
        return hits;
    };
    // Between the ears, below them, left of them: nothing; zero frames are never hit.
    for (auto [x, y] : {std::pair{245.0, 10.0}, {220, 40}, {199, 10}})
        EXPECT_FALSE(move(x, y).any()) << x;
    EXPECT_FALSE(hitEars({464, 0, 512, 46}, {}, {}, 464, 0).any());
    EXPECT_EQ(published, 0);
    EXPECT_EQ(move(210, 5), (EarHits{true, false}));
    EXPECT_TRUE(layout.hoveringSessions());
    move(230, 20);  // still over the session ear
    EXPECT_EQ(published, 1);
    // Straight from one ear onto the other: both flags flip at once.
    EXPECT_EQ(move(260, 20), (EarHits{false, true}));
    EXPECT_FALSE(layout.hoveringSessions());
    EXPECT_TRUE(layout.hoveringUsage());
    EXPECT_EQ(published, 2);
    move(-400, 500);
    EXPECT_EQ(published, 3);
    layout.setGeometry(plainScreen());
    EXPECT_EQ(published, 3);
    layout.setGeometry(plainScreen(40));
    EXPECT_EQ(published, 4);
}

TEST(IslandOutlineTest, ReachesFlareAndCornersWithTheirClamps) {
    const Rect row{10, 0, 489.6, 32};
    const double nan = std::nan("");
    const IslandOutline o = IslandOutline::measure(row, {50, 9.6, 70, 240, 8, 13.44});
    EXPECT_FALSE(o.empty);
    EXPECT_DOUBLE_EQ(o.left, 10 + 240 - 50);
    EXPECT_DOUBLE_EQ(o.right, 10 + 240 + 9.6 + 70);
    EXPECT_TRUE(o.top == 0 && o.bottom == 32 && o.flare == 8 && o.radius == 13.44);
    // 12 wide with a flare of 10: the flare drops to a quarter of the width, the corners to
    // what is left between the flares; never over half the height, never negative.
    const IslandOutline narrow = IslandOutline::measure(row, {12, 0, 0, 240, 10, 13.44});
    EXPECT_DOUBLE_EQ(narrow.flare, 3);
    EXPECT_DOUBLE_EQ(narrow.radius, 3);
    EXPECT_DOUBLE_EQ(IslandOutline::measure({0, 0, 500, 8}, {100, 0, 0, 240, 0, 13.44}).radius, 4);
    EXPECT_EQ(IslandOutline::measure(row, {40, 0, 0, 240, 0, -5}).radius, 0);
    // Zero, negative and not-a-number reaches count as nothing; half a point or less is empty.
    for (IslandShapeInputs inputs : {IslandShapeInputs{0, 0, 0, 240, 8, 13},
                                     {nan, nan, nan, 240, 8, 13},
                                     {-30, -5, -1, 240, 8, 13},
                                     {0.5, 0, 0, 240, 0, 10},
                                     {0.25, 0, 0.25, 240, 0, 10}}) {
        EXPECT_TRUE(IslandOutline::measure(row, inputs).empty) << inputs.leftReach;
    }
    EXPECT_FALSE(IslandOutline::measure(row, {0.5, 0, 0.01, 240, 0, 10}).empty);
    const IslandOutline half = IslandOutline::measure(row, {nan, 0, 30, 240, nan, nan});
    EXPECT_TRUE(!half.empty && half.left == 250 && half.right == 280 && half.flare == 0 &&
                half.radius == 0);
}

}  // namespace
}  // namespace brimwick
