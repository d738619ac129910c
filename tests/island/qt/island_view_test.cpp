// The island's panel and view offscreen, fed by a session store and a usage store on virtual
// time: which ears show and where, what is drawn, when frames run, the pointer and the clicks.
#include "island/qt/island_view.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

#include "island/qt/island_panel.h"
#include "island/qt/island_shapes.h"
#include "island_fixture.h"

namespace brimwick {
namespace {

using enum BotState;
constexpr double kUnit = 32;  // the offscreen screen has no top panel

class IslandTest : public ::testing::Test, protected testing::IslandFixture {
  protected:
    explicit IslandTest(bool reduceMotion = false)
        : island(
              *store, *usage, [this](const AgentSession& s) { taps.push_back(s.id); },
              [this] { taps.push_back("count"); }, [this] { taps.push_back("usage"); }, queue,
              reduceMotion) {
        island.setPointerSource([this] { return pointer; });
    }
    void settle() {  // every spring at rest
        queue.advance(3);
        view.refresh();
    }
    QImage frame() {
        QImage image(view.size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        view.render(painter, queue.now());
        return image;
    }
    void click(QPointF at, std::optional<QPointF> releaseAt = {}) {
        for (const auto& [type, point] : {std::pair{QEvent::MouseButtonPress, at},
                                          {QEvent::MouseButtonRelease, releaseAt.value_or(at)}}) {
            QMouseEvent event(type, point, view.mapToGlobal(point), Qt::LeftButton,
                              type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                              Qt::NoModifier);
            QApplication::sendEvent(&view, &event);
        }
    }
    void pointAt(double x, double y) {  // in the island's space
        pointer = island.panel().geometry().topLeft() + QPointF(x, y);
        island.trackPointer();
    }

    std::vector<std::string> taps;
    QPointF pointer{-100, -100};
    IslandPanel island;
    IslandView& view = island.rootView();
    IslandLayout& layout = island.layout();
};

TEST_F(IslandTest, SessionEarGrowsFromAnEmptyClickThroughPanelAndShrinksAway) {
    QWidget& panel = island.panel();
    EXPECT_TRUE(panel.isVisible());
    EXPECT_EQ(panel.windowTitle(), "Brimwick island");
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_EQ(layout.geometry().housingLeftX, screen.x() + screen.width() / 2.0);
    const Rect placed = panelFrame(layout.geometry());
    EXPECT_EQ(panel.geometry(), QRect(placed.x, placed.y, placed.width, placed.height));
    EXPECT_EQ(view.geometry(), QRect(QPoint(0, 0), panel.size()));
    auto empty = [&] {  // nothing drawn, no ear, no timer, clicks pass through
        const QImage image = frame();
        for (int x = 0; x < image.width(); x += 3) EXPECT_EQ(qAlpha(image.pixel(x, 5)), 0) << x;
        EXPECT_TRUE(view.ears() == (IslandEars{false, false}) && layout.sessionsFrame == Rect{});
        EXPECT_FALSE(view.isAnimating() || island.isPollingPointer());
        EXPECT_TRUE(view.frameInterval() == 0 && view.leftReach() == 0 &&
                    island.inputRegion().empty());
        pointAt(panel.width() / 2.0, 5);
        EXPECT_TRUE(island.clickThrough());
    };
    empty();

    add("a", working);
    const double width = sessionEarWidth(kUnit, 0, false, 1);
    const Rect ear = layout.sessionsFrame;
    EXPECT_EQ(ear, (Rect{islandRowX(view.width(), 0) + kEarColumnWidth - width, 0, width, kUnit}));
    EXPECT_DOUBLE_EQ(view.leftReach(), width);
    EXPECT_TRUE(view.isAnimating());
    // The input shape covers the ear and little more; the pointer is polled while it shows.
    ASSERT_EQ(island.inputRegion().size(), 1u);
    const QRect shape = island.inputRegion()[0];
    EXPECT_TRUE(shape.left() <= ear.x && shape.right() + 1 >= ear.maxX() &&
                shape.width() < width + 2);
    EXPECT_TRUE(island.isPollingPointer());
    const QRect at = panel.geometry();
    EXPECT_EQ(island.menuAnchor(ear),
              QPoint(at.x() + int(std::lround(ear.x)), at.y() + int(ear.maxY())));
    settle();
    // A working mascot is drawn on every display frame; the island itself stands still.
    EXPECT_TRUE(view.frameInterval() > 0 && view.frameInterval() <= 1.0 / 30);
    const QImage image = frame();
    EXPECT_EQ(image.pixelColor(int(ear.x + 2), 2), QColor(Qt::black));   // under the ear's padding
    EXPECT_EQ(qAlpha(image.pixel(int(ear.maxX() + 3), 10)), 0);          // right of the centre
    EXPECT_EQ(qAlpha(image.pixel(int(ear.midX()), int(kUnit + 4))), 0);  // below the island
    pointAt(ear.midX(), ear.midY());
    EXPECT_TRUE(layout.hoveringSessions());
    EXPECT_FALSE(island.clickThrough());
    // Placing the panel again (a screen change) keeps it and notices the pointer has left.
    pointer = QPointF(-50, -50);
    island.place();
    EXPECT_EQ(panel.geometry(), at);
    EXPECT_FALSE(layout.hoveringSessions());

    store->remove("a");
    EXPECT_TRUE(view.isAnimating());
    settle();
    empty();
}

TEST_F(IslandTest, CountRankingPoofsAndMascotFrameRates) {
    add("a", idle);
    settle();
    EXPECT_GE(view.frameInterval(), 1.0 / 30 - 1e-9);  // calm mascots at most 30 times a second
    EXPECT_FALSE(view.sessionEar().showsCount());
    add("b", working);
    const CountHex& count = view.sessionEar().countHex();
    EXPECT_TRUE(view.sessionEar().showsCount() && count.count() == 2 && !count.alert());
    EXPECT_DOUBLE_EQ(layout.sessionsFrame.width, sessionEarWidth(kUnit, 0, true, 1));
    EXPECT_EQ(view.sessionEar().countLabel(), "2 sessions");
    settle();
    // An approval outranks the rest and replaces the shown mascot, which poofs away; a question
    // waiting behind it turns the count amber.
    add("c", approval);
    EXPECT_EQ(view.sessionEar().drawnMascots().size(), 2u);
    EXPECT_FALSE(count.alert());
    add("d", question);
    EXPECT_TRUE(count.alert());
    settle();
    frame();
    const auto drawn = view.sessionEar().drawnMascots();
    ASSERT_EQ(drawn.size(), 1u);
    EXPECT_EQ(EarView::sessionLabel(drawn[0]), "proj: Needs your approval");
    for (int i = 0; i < 8; ++i) add("more" + std::to_string(i), idle);
    EXPECT_EQ(count.count(), 12);
    // A finished mascot needs no frames once its check and ring are done (it goes at 2.4 s).
    store->clearAll();
    add("e", finished);
    EXPECT_GT(view.frameInterval(), 0);
    queue.advance(1.5);
    view.refresh();
    EXPECT_EQ(view.frameInterval(), 0);
}

TEST_F(IslandTest, UsageEarBridgeFiguresAndClicks) {
    add("a", working);
    add("b", error);
    publish(figures(0.4, 0.2));
    EXPECT_EQ(view.ears(), (IslandEars{true, true}));
    EXPECT_EQ(island.inputRegion().size(), 2u);
    EXPECT_DOUBLE_EQ(view.middle(), 0.3 * kUnit);
    EXPECT_DOUBLE_EQ(layout.usageFrame.x, layout.sessionsFrame.maxX() + 0.3 * kUnit);
    EXPECT_DOUBLE_EQ(view.rightReach(), layout.usageFrame.width);
    EXPECT_EQ(view.usageEar().accessibilityText(), "Session 60% left, week 80% left");
    settle();
    const double bridge = layout.sessionsFrame.maxX() + 0.15 * kUnit;
    EXPECT_EQ(qAlpha(frame().pixel(int(bridge), 3)), 255);
    pointAt(layout.usageFrame.midX(), 5);
    EXPECT_TRUE(layout.hoveringUsage() && !island.clickThrough());
    pointAt(bridge, 5);
    EXPECT_TRUE(island.clickThrough());

    const QRectF ear = view.sessionEarRect(queue.now()), right = view.usageEarRect(queue.now());
    const QPointF mascot = view.sessionEar().mascotRect(ear, kUnit, 0).center();
    click(mascot);
    click(view.sessionEar().countRect(ear, kUnit).center());
    click(right.center());
    click(QPointF(ear.left() + 1, ear.center().y()));  // the ear's padding is no button
    click(mascot, right.center());                     // dragged off: no tap
    EXPECT_EQ(taps, (std::vector<std::string>{"b", "count", "usage"}));

    // A failed fetch keeps the figures, marked stale; switching usage off takes the ear away.
    publish(std::nullopt);
    EXPECT_TRUE(view.usageEar().stale());
    EXPECT_EQ(view.usageEar().weekLine(), "wk 80%");
    EXPECT_EQ(view.usageEar().countdownText(queue.now()), "–");
    usage->setEnabled(false);
    EXPECT_EQ(view.ears(), (IslandEars{true, false}));
    EXPECT_TRUE(layout.usageFrame == Rect{} && view.rightReach() == 0 && view.middle() == 0);
}

TEST_F(IslandTest, NewFigureFlashesAResetRipples) {
    for (double used : {0.0, 0.03, 0.97, 0.0, 0.0}) publish(figures(used));
    EXPECT_EQ(view.usageEar().ring().pulses(), 2);  // not the first figure, nor a repeat
    EXPECT_EQ(view.usageEar().ring().ripples(), 1);
    EXPECT_TRUE(view.usageEar().weekLine().isEmpty());  // no week figure
    // The ripple and, for the next figure, the blurred flash are painted, then fade away.
    const QImage rippling = frame();
    settle();
    const QImage settled = frame();
    EXPECT_NE(rippling, settled);
    publish(figures(0.2));
    const QImage flashing = frame();
    settle();
    EXPECT_NE(flashing, frame());
    // Reduce motion switched on while running: the next figure neither flashes nor ripples.
    view.setReduceMotion(true);
    publish(figures(0.5));
    publish(figures(0.0));
    EXPECT_EQ(view.usageEar().ring().pulses(), 3);
    EXPECT_EQ(view.usageEar().ring().ripples(), 1);
}

struct ReducedMotionIslandTest : IslandTest {
    ReducedMotionIslandTest() : IslandTest(true) {}
};

TEST_F(ReducedMotionIslandTest, FiguresChangeWithoutFlashOrRipple) {
    for (double used : {0.0, 0.03, 0.0}) publish(figures(used));
    EXPECT_EQ(view.usageEar().ring().pulses() + view.usageEar().ring().ripples(), 0);
}

TEST(IslandShapesTest, IslandHexagonArcAndPlus) {
    const QPainterPath path = IslandShape{{50, 10, 30, 240, 8, 13.44}}.path(QRectF(0, 0, 490, 32));
    EXPECT_EQ(path.boundingRect(), QRectF(190, 0, 90, 32));
    // Filled inside; the flare leaves the top corner's inside empty, the bottom corner is cut.
    EXPECT_TRUE(path.contains(QPointF(235, 16)));
    EXPECT_FALSE(path.contains(QPointF(190.5, 7)) || path.contains(QPointF(198.5, 31.5)));
    EXPECT_TRUE((IslandShape{{0, 0, 0, 240, 8, 13}}.path(QRectF(0, 0, 490, 32)).isEmpty()));
    const QRectF rect(0, 0, 20, 20);
    EXPECT_TRUE((HexArc{0.38, 0}.path(rect).isEmpty() && HexArc{0.38, -1}.path(rect).isEmpty()));
    const double whole = (HexArc{0.38, 1}.path(rect).length());
    EXPECT_NEAR(whole, (HexShape{0.38}.path(rect).length()), 0.05);
    EXPECT_NEAR((HexArc{0.38, 1.7}.path(rect).length()), whole, 1e-6);
    EXPECT_NEAR((HexArc{0.38, 0.5}.path(rect).length()), whole / 2, 0.05);
    // A quarter starts at the top corner and runs down the right-hand side.
    const QPainterPath quarter = HexArc{0.38, 0.25}.path(rect);
    EXPECT_NEAR(quarter.length(), whole / 4, 0.05);
    EXPECT_NEAR(quarter.pointAtPercent(0).x(), 10, 0.2);
    EXPECT_TRUE(quarter.pointAtPercent(0).y() < 2 && quarter.pointAtPercent(1).x() > 15);
    const QPainterPath plus = PlusShape{}.path(QRectF(0, 0, 6, 6));
    EXPECT_EQ(plus.boundingRect(), QRectF(0, 0, 6, 6));
    EXPECT_NEAR(plus.length(), 12, 1e-9);
}

}  // namespace
}  // namespace brimwick
