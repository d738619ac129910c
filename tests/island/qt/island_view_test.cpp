#include "island/qt/island_view.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>

#include "island_fixture.h"

namespace brimwick {
namespace {

constexpr double kUnit = 24;  // the offscreen screen has no top panel

IslandGeometry plainGeometry() {
    return IslandGeometry::measure(
        {ScreenMeasurements{{0, 0, 1440, 900}, {0, 0, 1440, 900}, 0, std::nullopt, std::nullopt}});
}

class RootViewTest : public ::testing::Test {
  protected:
    explicit RootViewTest(bool reduceMotion = false)
        : layout(plainGeometry()),
          view(*island.store, *island.usage, layout, island.queue, reduceMotion) {
        const Rect panel = panelFrame(layout.geometry());
        view.resize(static_cast<int>(panel.width), static_cast<int>(panel.height));
        layout.onFramesChanged = [this] { ++framesChanged; };
    }

    // Lets every spring settle.
    void settle() {
        island.queue.advance(3);
        view.refresh();
    }

    QImage frame() {
        QImage image(view.size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        view.render(painter, island.queue.now());
        return image;
    }

    void click(QPointF at, std::optional<QPointF> releaseAt = std::nullopt) {
        QMouseEvent press(QEvent::MouseButtonPress, at, view.mapToGlobal(at), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&view, &press);
        const QPointF end = releaseAt.value_or(at);
        QMouseEvent release(QEvent::MouseButtonRelease, end, view.mapToGlobal(end), Qt::LeftButton,
                            Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(&view, &release);
    }

    testing::IslandFixture island;
    IslandLayout layout;
    IslandView view;
    int framesChanged = 0;
};

TEST_F(RootViewTest, EmptyIslandDrawsNothingAndRunsNoTimer) {
    EXPECT_EQ(view.ears(), (IslandEars{false, false}));
    EXPECT_EQ(layout.sessionsFrame, Rect{});
    EXPECT_EQ(layout.usageFrame, Rect{});
    EXPECT_FALSE(view.isAnimating());
    EXPECT_EQ(view.frameInterval(), 0);
    const QImage image = frame();
    for (int x = 0; x < image.width(); x += 4) {
        for (int y = 0; y < image.height(); y += 4) ASSERT_EQ(qAlpha(image.pixel(x, y)), 0);
    }
}

TEST_F(RootViewTest, SessionEarReportsItsFrameAndTheIslandGrowsToIt) {
    island.add("a", BotState::working);
    EXPECT_TRUE(view.ears().session);
    const double width = sessionEarWidth(kUnit, 0, false, 1);
    const double row = islandRowX(view.width(), 0);
    EXPECT_EQ(layout.sessionsFrame, (Rect{row + kEarColumnWidth - width, 0, width, kUnit}));
    EXPECT_EQ(framesChanged, 1);
    EXPECT_DOUBLE_EQ(view.leftReach(), width);
    EXPECT_TRUE(view.isAnimating());

    settle();
    // A working mascot is drawn on every display frame; the island itself stands still.
    EXPECT_GT(view.frameInterval(), 0);
    EXPECT_LE(view.frameInterval(), 1.0 / 30);
    const QImage image = frame();
    const Rect ear = layout.sessionsFrame;
    // Black island under the ear's padding, nothing right of the centre.
    const QColor padding = image.pixelColor(static_cast<int>(ear.x + 2), 2);
    EXPECT_EQ(padding.alpha(), 255);
    EXPECT_EQ(padding.red(), 0);
    EXPECT_EQ(qAlpha(image.pixel(static_cast<int>(ear.maxX() + 3), 10)), 0);
    // Below the island: transparent.
    EXPECT_EQ(qAlpha(image.pixel(static_cast<int>(ear.midX()), static_cast<int>(kUnit + 4))), 0);
}

TEST_F(RootViewTest, CalmMascotsAreDrawnAtMostThirtyTimesASecond) {
    island.add("a", BotState::idle);
    settle();
    EXPECT_GE(view.frameInterval(), 1.0 / 30 - 1e-9);
}

TEST_F(RootViewTest, ASettledMascotNeedsNoFrames) {
    island.add("a", BotState::finished);
    EXPECT_GT(view.frameInterval(), 0);
    island.queue.advance(1.5);  // check, ring and springs done; the session goes at 2.4 s
    view.refresh();
    ASSERT_EQ(view.sessionEar().drawnMascots().size(), 1u);
    EXPECT_EQ(view.frameInterval(), 0);
    EXPECT_FALSE(view.isAnimating());
}

TEST_F(RootViewTest, CountHexagonFromTwoSessionsAmberWhenAHiddenOneWaits) {
    island.add("a", BotState::working);
    EXPECT_FALSE(view.sessionEar().showsCount());
    island.add("b", BotState::idle);
    EXPECT_TRUE(view.sessionEar().showsCount());
    EXPECT_EQ(view.sessionEar().countHex().count(), 2);
    EXPECT_FALSE(view.sessionEar().countHex().alert());
    EXPECT_DOUBLE_EQ(layout.sessionsFrame.width, sessionEarWidth(kUnit, 0, true, 1));
    EXPECT_EQ(view.sessionEar().countLabel(), "2 sessions");

    // An approval is ranked first and shown; a question behind it turns the count amber.
    island.add("c", BotState::approval);
    EXPECT_FALSE(view.sessionEar().countHex().alert());
    island.add("d", BotState::question);
    EXPECT_TRUE(view.sessionEar().countHex().alert());
    settle();
    ASSERT_EQ(view.sessionEar().drawnMascots().size(), 1u);
    EXPECT_EQ(view.sessionEar().drawnMascots()[0].id, "c");
    EXPECT_EQ(EarView::sessionLabel(view.sessionEar().drawnMascots()[0]),
              "proj: Needs your approval");
    for (int i = 0; i < 8; ++i) island.add("more" + std::to_string(i), BotState::idle);
    EXPECT_EQ(view.sessionEar().countHex().count(), 12);
}

TEST_F(RootViewTest, ReplacedMascotPoofsAwayAndIsForgotten) {
    island.add("a", BotState::working);
    settle();
    island.add("b", BotState::approval);  // outranks a
    auto drawn = view.sessionEar().drawnMascots();
    ASSERT_EQ(drawn.size(), 2u);  // a is leaving, b arriving
    settle();
    frame();
    drawn = view.sessionEar().drawnMascots();
    ASSERT_EQ(drawn.size(), 1u);
    EXPECT_EQ(drawn[0].id, "b");
}

TEST_F(RootViewTest, BothEarsOnAPlainScreenAreJoinedByABridge) {
    island.add("a", BotState::working);
    island.publish(testing::IslandFixture::figures(0.4, 0.2));
    EXPECT_EQ(view.ears(), (IslandEars{true, true}));
    EXPECT_DOUBLE_EQ(view.middle(), 0.3 * kUnit);
    const double row = islandRowX(view.width(), 0.3 * kUnit);
    EXPECT_DOUBLE_EQ(layout.usageFrame.x, row + kEarColumnWidth + 0.3 * kUnit);
    EXPECT_DOUBLE_EQ(view.rightReach(), layout.usageFrame.width);
    EXPECT_DOUBLE_EQ(layout.sessionsFrame.maxX() + 0.3 * kUnit, layout.usageFrame.x);
    EXPECT_EQ(view.usageEar().accessibilityText(), "Session 60% left, week 80% left");
    settle();
    const QImage image = frame();
    // The bridge between the ears is island too.
    const int bridge = static_cast<int>(layout.sessionsFrame.maxX() + 0.15 * kUnit);
    EXPECT_EQ(qAlpha(image.pixel(bridge, 3)), 255);

    // Switching usage off takes the right ear and the bridge away.
    island.usage->setEnabled(false);
    EXPECT_EQ(view.ears(), (IslandEars{true, false}));
    EXPECT_EQ(layout.usageFrame, Rect{});
    EXPECT_EQ(view.rightReach(), 0);
    EXPECT_EQ(view.middle(), 0);
}

TEST_F(RootViewTest, IslandShrinksAwayWhenTheLastSessionGoes) {
    island.add("a", BotState::working);
    settle();
    island.store->remove("a");
    EXPECT_EQ(layout.sessionsFrame, Rect{});
    EXPECT_EQ(view.leftReach(), 0);
    EXPECT_TRUE(view.isAnimating());
    settle();
    EXPECT_EQ(view.frameInterval(), 0);
    EXPECT_FALSE(view.isAnimating());
    const QImage image = frame();
    for (int x = 0; x < image.width(); x += 3) ASSERT_EQ(qAlpha(image.pixel(x, 5)), 0);
}

TEST_F(RootViewTest, StaleFiguresStayAndAreMarked) {
    island.publish(testing::IslandFixture::figures(0.4, std::nullopt));
    EXPECT_FALSE(view.usageEar().stale());
    island.publish(std::nullopt);
    EXPECT_TRUE(view.ears().usage);
    EXPECT_TRUE(view.usageEar().stale());
    EXPECT_EQ(view.usageEar().countdownText(island.queue.now()), "–");
    EXPECT_TRUE(view.usageEar().weekLine().isEmpty());
}

TEST_F(RootViewTest, NewFigureFlashesAndAResetRipples) {
    island.publish(testing::IslandFixture::figures(0.0, std::nullopt));
    EXPECT_EQ(view.usageEar().ring().pulses(), 0);
    island.publish(testing::IslandFixture::figures(0.03, std::nullopt));
    EXPECT_EQ(view.usageEar().ring().pulses(), 1);
    EXPECT_EQ(view.usageEar().ring().ripples(), 0);
    island.publish(testing::IslandFixture::figures(0.97, std::nullopt));
    island.publish(testing::IslandFixture::figures(0.0, std::nullopt));
    EXPECT_EQ(view.usageEar().ring().pulses(), 2);
    EXPECT_EQ(view.usageEar().ring().ripples(), 1);
    // The same figure again does nothing.
    island.publish(testing::IslandFixture::figures(0.0, std::nullopt));
    EXPECT_EQ(view.usageEar().ring().ripples(), 1);
}

class ReducedMotionRootViewTest : public RootViewTest {
  protected:
    ReducedMotionRootViewTest() : RootViewTest(true) {}
};

TEST_F(ReducedMotionRootViewTest, FiguresChangeWithoutFlashOrRipple) {
    island.publish(testing::IslandFixture::figures(0.0, std::nullopt));
    island.publish(testing::IslandFixture::figures(0.03, std::nullopt));
    island.publish(testing::IslandFixture::figures(0.0, std::nullopt));
    EXPECT_EQ(view.usageEar().ring().pulses(), 0);
    EXPECT_EQ(view.usageEar().ring().ripples(), 0);
}

TEST_F(RootViewTest, ClicksOnTheEarsReachTheLayoutsCallbacks) {
    std::vector<std::string> taps;
    layout.onTapSession = [&](const AgentSession& s) { taps.push_back("session " + s.id); };
    layout.onTapCount = [&] { taps.push_back("count"); };
    layout.onTapUsage = [&] { taps.push_back("usage"); };
    island.add("a", BotState::working);
    island.add("b", BotState::error);
    island.publish(testing::IslandFixture::figures(0.5, 0.5));
    settle();
    const QRectF ear = view.sessionEarRect(island.queue.now());
    const QRectF mascot = view.sessionEar().mascotRect(ear, kUnit, 0);
    const QRectF count = view.sessionEar().countRect(ear, kUnit);
    const QRectF usage = view.usageEarRect(island.queue.now());

    click(mascot.center());
    click(count.center());
    click(usage.center());
    // Padding of the session ear isn't a button; a press dragged off its button is no tap.
    click(QPointF(ear.left() + 1, ear.center().y()));
    click(mascot.center(), usage.center());
    EXPECT_EQ(taps, (std::vector<std::string>{"session b", "count", "usage"}));
}

}  // namespace
}  // namespace brimwick
