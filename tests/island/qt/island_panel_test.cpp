#include "island/qt/island_panel.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include "island/qt/island_shapes.h"
#include "island/qt/island_view.h"
#include "island_fixture.h"

namespace brimwick {
namespace {

class PanelTest : public ::testing::Test {
  protected:
    PanelTest()
        : controller(*island.store, *island.usage, nullptr, nullptr, nullptr, island.queue) {
        controller.setPointerSource([this] { return pointer; });
    }

    // Moves the pointer to a point of an ear's frame (island space), in desktop coordinates.
    void pointAt(const Rect& ear, double dx = 0.5, double dy = 0.5) {
        const QRect panel = controller.panel().geometry();
        pointer = QPointF(panel.x() + ear.x + dx * ear.width, panel.y() + ear.y + dy * ear.height);
        controller.trackPointer();
    }

    testing::IslandFixture island;
    QPointF pointer{-100, -100};
    IslandPanel controller;
};

TEST_F(PanelTest, PanelIsAFramelessToolWindowThatNeverTakesFocus) {
    QWidget& panel = controller.panel();
    EXPECT_TRUE(panel.isVisible());
    EXPECT_EQ(panel.windowTitle(), "Brimwick island");
    const Qt::WindowFlags flags = panel.windowFlags();
    for (const Qt::WindowType flag :
         {Qt::FramelessWindowHint, Qt::WindowStaysOnTopHint, Qt::X11BypassWindowManagerHint,
          Qt::WindowDoesNotAcceptFocus, Qt::NoDropShadowWindowHint}) {
        EXPECT_TRUE(flags.testFlag(flag)) << flag;
    }
    EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Tool);
    EXPECT_TRUE(panel.testAttribute(Qt::WA_TranslucentBackground));
    EXPECT_TRUE(panel.testAttribute(Qt::WA_ShowWithoutActivating));
}

TEST_F(PanelTest, PanelHangsFromTheTopOfTheFirstScreenCentredOnIt) {
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const IslandGeometry g = controller.layout().geometry();
    EXPECT_FALSE(g.hasHousing);
    EXPECT_EQ(g.housingLeftX, screen.x() + screen.width() / 2.0);
    const QRect panel = controller.panel().geometry();
    EXPECT_EQ(panel.top(), screen.top());
    EXPECT_EQ(panel.width(), static_cast<int>(g.height + 480));
    EXPECT_EQ(panel.height(), static_cast<int>(g.height + 14));
    EXPECT_EQ(panel.x(), screen.x() + screen.width() / 2 - panel.width() / 2);
    EXPECT_EQ(controller.rootView().geometry(), QRect(QPoint(0, 0), panel.size()));
}

TEST_F(PanelTest, ClickThroughEverywhereWhileNoEarIsShown) {
    EXPECT_TRUE(controller.inputRegion().empty());
    EXPECT_FALSE(controller.isPollingPointer());
    pointer = QPointF(controller.panel().geometry().center());
    controller.trackPointer();
    EXPECT_TRUE(controller.clickThrough());
    EXPECT_FALSE(controller.layout().hoveringSessions());
}

TEST_F(PanelTest, InputShapeFollowsTheEarsAndThePointerIsPolledWhileOneIsShown) {
    island.add("a", BotState::working);
    const Rect ear = controller.layout().sessionsFrame;
    ASSERT_GT(ear.width, 0);
    ASSERT_EQ(controller.inputRegion().size(), 1u);
    const QRect shape = controller.inputRegion()[0];
    EXPECT_LE(shape.left(), ear.x);
    EXPECT_GE(shape.left() + shape.width(), ear.maxX());
    EXPECT_LT(shape.width(), ear.width + 2);
    EXPECT_TRUE(controller.isPollingPointer());

    island.publish(testing::IslandFixture::figures(0.3, 0.3));
    EXPECT_EQ(controller.inputRegion().size(), 2u);

    island.store->remove("a");
    island.usage->setEnabled(false);
    EXPECT_TRUE(controller.inputRegion().empty());
    EXPECT_FALSE(controller.isPollingPointer());
}

TEST_F(PanelTest, PointerOverAnEarLightsItAndTakesClicks) {
    island.add("a", BotState::working);
    island.publish(testing::IslandFixture::figures(0.3, 0.3));
    const Rect sessions = controller.layout().sessionsFrame;
    const Rect usage = controller.layout().usageFrame;
    pointAt(sessions);
    EXPECT_TRUE(controller.layout().hoveringSessions());
    EXPECT_FALSE(controller.clickThrough());
    // Straight onto the other ear: both flags flip, the panel keeps taking clicks.
    pointAt(usage);
    EXPECT_FALSE(controller.layout().hoveringSessions());
    EXPECT_TRUE(controller.layout().hoveringUsage());
    EXPECT_FALSE(controller.clickThrough());
    // Into the bridge between them and below them: click-through.
    pointAt(Rect{sessions.maxX(), 0, usage.x - sessions.maxX(), sessions.height});
    EXPECT_TRUE(controller.clickThrough());
    EXPECT_FALSE(controller.layout().hoveringUsage());
    pointAt(sessions, 0.5, 1.2);
    EXPECT_TRUE(controller.clickThrough());
}

TEST_F(PanelTest, PlacingAgainKeepsThePanelAndReevaluatesTheHover) {
    island.add("a", BotState::working);
    pointAt(controller.layout().sessionsFrame);
    ASSERT_TRUE(controller.layout().hoveringSessions());
    // The pointer leaves; a screen change places the panel again and notices.
    pointer = QPointF(-50, -50);
    const QRect before = controller.panel().geometry();
    controller.place();
    EXPECT_EQ(controller.panel().geometry(), before);
    EXPECT_FALSE(controller.layout().hoveringSessions());
}

TEST_F(PanelTest, MenusOpenUnderTheEar) {
    island.add("a", BotState::working);
    const Rect ear = controller.layout().sessionsFrame;
    const QRect panel = controller.panel().geometry();
    EXPECT_EQ(controller.menuAnchor(ear), QPoint(panel.x() + static_cast<int>(std::lround(ear.x)),
                                                 panel.y() + static_cast<int>(ear.maxY())));
}

TEST(IslandShapesTest, IslandPathHangsFromTheTopWithRoundedBottomCorners) {
    const IslandShape shape{{50, 10, 30, 240, 8, 13.44}};
    const QPainterPath path = shape.path(QRectF(0, 0, 490, 32));
    const QRectF bounds = path.boundingRect();
    EXPECT_NEAR(bounds.left(), 190, 1e-9);
    EXPECT_NEAR(bounds.right(), 280, 1e-9);
    EXPECT_NEAR(bounds.top(), 0, 1e-9);
    EXPECT_NEAR(bounds.bottom(), 32, 1e-9);
    EXPECT_TRUE(path.contains(QPointF(235, 16)));
    // The flare leaves the top corner's inside empty below the screen edge, and the rounded
    // bottom corner cuts off the very corner.
    EXPECT_FALSE(path.contains(QPointF(190.5, 7)));
    EXPECT_FALSE(path.contains(QPointF(198.5, 31.5)));
    const IslandShape none{{0, 0, 0, 240, 8, 13}};
    EXPECT_TRUE(none.path(QRectF(0, 0, 490, 32)).isEmpty());
}

TEST(IslandShapesTest, HexArcDrainsFromTheTopCornerClockwise) {
    const QRectF rect(0, 0, 20, 20);
    const HexArc empty{0.38, 0};
    const HexArc negative{0.38, -1};
    EXPECT_TRUE(empty.path(rect).isEmpty());
    EXPECT_TRUE(negative.path(rect).isEmpty());
    const QPainterPath whole = HexArc{0.38, 1}.path(rect);
    const QPainterPath over = HexArc{0.38, 1.7}.path(rect);
    EXPECT_NEAR(whole.length(), HexShape{0.38}.path(rect).length(), 0.05);
    EXPECT_NEAR(over.length(), whole.length(), 1e-6);
    // A quarter starts at the top corner and runs down the right-hand side.
    const QPainterPath quarter = HexArc{0.38, 0.25}.path(rect);
    EXPECT_NEAR(quarter.length(), whole.length() / 4, 0.05);
    EXPECT_NEAR(quarter.pointAtPercent(0).x(), 10, 0.2);
    EXPECT_LT(quarter.pointAtPercent(0).y(), 2);
    EXPECT_GT(quarter.pointAtPercent(1).x(), 15);
    const HexArc half{0.38, 0.5};
    EXPECT_NEAR(half.path(rect).length(), whole.length() / 2, 0.05);
}

TEST(IslandShapesTest, PlusSignIsTheTwoMiddleLines) {
    const QPainterPath plus = PlusShape{}.path(QRectF(0, 0, 6, 6));
    EXPECT_EQ(plus.boundingRect(), QRectF(0, 0, 6, 6));
    EXPECT_NEAR(plus.length(), 12, 1e-9);
}

}  // namespace
}  // namespace brimwick
