#include "mascot/qt/hex_renderer.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QTransform>
#include <cmath>
#include <numbers>

#include "mascot/qt/path_trim.h"

namespace brimwick {
namespace {

constexpr int kSide = 200;
constexpr double kR = 0.38 * kSide;

QImage render(BotState state, BotState previous, double t, double since, double ratio = 1) {
    QImage image(int(kSide * ratio), int(kSide * ratio), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    HexRenderer::drawFrame(painter, QSizeF(kSide, kSide), state, previous, t, since);
    return image;
}

QImage render(BotState state, double t, double since) {
    return render(state, state, t, since);
}

// Where a point of the mascot's own coordinates lands in the image for that frame's pose.
QPointF posed(BotState state, double t, double since, QPointF local) {
    const Pose pose = makePose(state, t, since);
    QTransform transform;
    transform.translate(kSide / 2.0 + pose.dx * kR, kSide / 2.0);
    transform.rotate(pose.angle * 180 / std::numbers::pi);
    transform.scale(pose.scale, pose.scale);
    return transform.map(local);
}

QPointF outlinePoint(BotState state, double t, double since, double fraction) {
    const PathTrimmer body(HexRenderer::hexPath(kR, 0.24 * kR));
    return posed(state, t, since, body.pointAt(fraction));
}

QColor pixel(const QImage& image, QPointF point) {
    return image.pixelColor(int(std::floor(point.x())), int(std::floor(point.y())));
}

// Un-premultiplied colour close to an sRGB palette entry.
void expectColour(const QColor& actual, const Rgb& expected, double tolerance = 0.03) {
    EXPECT_NEAR(actual.redF(), expected.red, tolerance);
    EXPECT_NEAR(actual.greenF(), expected.green, tolerance);
    EXPECT_NEAR(actual.blueF(), expected.blue, tolerance);
}

// Horizontal centre of everything drawn, weighted by alpha.
double alphaCentroidX(const QImage& image) {
    double sum = 0, weighted = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const double alpha = qAlpha(image.pixel(x, y));
            sum += alpha;
            weighted += alpha * (x + 0.5);
        }
    }
    return weighted / sum;
}

TEST(HexRendererGreetingTest, OutlineIsSevenEighthsDrawnHalfwayThroughItsTime) {
    const double t = 50, since = 0.35;  // 1 − (1 − 0.5)³ = 0.875 of the outline
    const QImage image = render(BotState::greeting, BotState::idle, t, since);
    for (double fraction : {0.02, 0.3, 0.6, 0.85}) {
        const QColor drawn = pixel(image, outlinePoint(BotState::greeting, t, since, fraction));
        EXPECT_GT(drawn.alphaF(), 0.97) << fraction;
        expectColour(drawn, paletteColor(BotState::greeting));
    }
    for (double fraction : {0.93, 0.97}) {
        const QColor track = pixel(image, outlinePoint(BotState::greeting, t, since, fraction));
        EXPECT_LT(track.alphaF(), 0.6) << fraction;  // faint track plus the glow nearby
        EXPECT_GT(track.alphaF(), 0.2) << fraction;
    }
    // It has turned in from −60° but not yet all the way.
    const double angle = makePose(BotState::greeting, t, since).angle;
    EXPECT_LT(angle, -0.1);
    EXPECT_GT(angle, -std::numbers::pi / 3);
}

TEST(HexRendererFinishedTest, BlendsFromWorkingBlueAndDrawsTheCheckInHalfASecond) {
    const double t = 70;
    const auto body = [&](double since) {
        return pixel(render(BotState::finished, BotState::working, t, since),
                     outlinePoint(BotState::finished, t, since, 1.0 / 6));
    };
    expectColour(body(0), paletteColor(BotState::working));
    expectColour(body(0.35), paletteColor(BotState::finished));
    expectColour(body(2), paletteColor(BotState::finished));

    const QPointF tip(0.34 * kR, -0.22 * kR), elbow(-0.08 * kR, 0.26 * kR);
    const QImage early = render(BotState::finished, BotState::working, t, 0.15);
    EXPECT_GT(pixel(early, posed(BotState::finished, t, 0.15, elbow)).alphaF(), 0.97);
    EXPECT_LT(pixel(early, posed(BotState::finished, t, 0.15, tip)).alphaF(), 0.3);
    const QImage done = render(BotState::finished, BotState::working, t, 0.5);
    const QColor tipColour = pixel(done, posed(BotState::finished, t, 0.5, tip));
    EXPECT_GT(tipColour.alphaF(), 0.97);
    expectColour(tipColour, paletteColor(BotState::finished));
}

TEST(HexRendererFinishedTest, RingSpreadsAndIsGoneAfterNineTenths) {
    const double t = 70;
    // Just outside the body on the right: the ring passes here at q = 0.5 (radius 1.15R).
    const QPointF outside(kSide / 2.0 + 1.15 * kR * std::sqrt(3.0) / 2, kSide / 2.0);
    const double withRing = pixel(render(BotState::finished, t, 0.45), outside).alphaF();
    const double ringGone = pixel(render(BotState::finished, t, 0.9), outside).alphaF();
    const double later = pixel(render(BotState::finished, t, 1.5), outside).alphaF();
    EXPECT_GT(withRing, ringGone + 0.15);
    EXPECT_NEAR(ringGone, later, 0.01);  // only the steady glow remains
}

TEST(HexRendererErrorTest, ShakesOnEntryAndAgainAtThreePointTwoSeconds) {
    const double t = 90;
    const double still = alphaCentroidX(render(BotState::error, t, 3.0));
    EXPECT_NEAR(still, kSide / 2.0, 0.5);
    const double expected = makePose(BotState::error, t, 3.23).dx * kR;
    EXPECT_GT(expected, 0.15 * kR);
    EXPECT_NEAR(alphaCentroidX(render(BotState::error, t, 3.23)) - still, expected, 1.5);
    EXPECT_NEAR(alphaCentroidX(render(BotState::error, t, 0.03)) - still, expected, 1.5);
    EXPECT_NEAR(alphaCentroidX(render(BotState::error, t, 3.8)), still, 0.01);
    // The bar in the middle, in the error colour.
    const QImage image = render(BotState::error, t, 3.0);
    expectColour(pixel(image, {kSide / 2.0 + 0.2 * kR, kSide / 2.0}),
                 paletteColor(BotState::error));
}

TEST(HexRendererSleepingTest, FadesBetweenItsOpacityBoundsWithNothingInTheMiddle) {
    const double peak = std::numbers::pi / 1.6, trough = -std::numbers::pi / 1.6;  // sin(0.8t) = ±1
    const QPointF edge = outlinePoint(BotState::sleeping, 0, 10, 1.0 / 6);
    const double high = pixel(render(BotState::sleeping, peak, 10), edge).alphaF();
    const double low = pixel(render(BotState::sleeping, trough, 10), edge).alphaF();
    // The opaque stroke at the mascot's opacity, plus a little of the track and glow under it.
    EXPECT_GE(high, 0.47 - 0.01);
    EXPECT_LT(high, 0.6);
    EXPECT_GE(low, 0.23 - 0.01);
    EXPECT_LT(low, 0.3);
    EXPECT_LT(pixel(render(BotState::sleeping, peak, 10), {kSide / 2.0, kSide / 2.0}).alphaF(),
              0.02);
}

TEST(HexRendererThinkingTest, HighlightWrapsThroughTheStartWithoutAGap) {
    const double t = (7 + 0.9) / 0.55;  // the piece runs from 0.9 to 1.24
    const QImage image = render(BotState::thinking, t, 5);
    for (double fraction : {0.91, 0.97, 0.995, 0.0, 0.005, 0.03, 0.1, 0.23}) {
        const QColor drawn = pixel(image, outlinePoint(BotState::thinking, t, 5, fraction));
        EXPECT_GT(drawn.alphaF(), 0.97) << fraction;
        expectColour(drawn, paletteColor(BotState::thinking));
    }
    EXPECT_LT(pixel(image, outlinePoint(BotState::thinking, t, 5, 0.6)).alphaF(), 0.4);
}

TEST(HexRendererWorkingTest, TwoOppositePiecesRun) {
    const double t = 0.7 / 1.1 + 1000 / 1.1;  // pieces 0.7 … 0.9 and 0.2 … 0.4
    const QImage image = render(BotState::working, t, 5);
    for (double fraction : {0.8, 0.3}) {
        EXPECT_GT(pixel(image, outlinePoint(BotState::working, t, 5, fraction)).alphaF(), 0.97);
    }
    for (double fraction : {0.05, 0.55}) {
        EXPECT_LT(pixel(image, outlinePoint(BotState::working, t, 5, fraction)).alphaF(), 0.6);
    }
}

TEST(HexRendererCentreTest, EachStateHasItsSymbol) {
    const QPointF middle(kSide / 2.0, kSide / 2.0);
    for (BotState state : {BotState::greeting, BotState::searching, BotState::working}) {
        const QColor centre = pixel(render(state, 40, 5), middle);
        EXPECT_GT(centre.alphaF(), 0.97) << rawValue(state);
        expectColour(centre, paletteColor(state));
    }
    // Idle breathes: its dot is as opaque as the mascot, 0.75 ± 0.15.
    const double idle = pixel(render(BotState::idle, 0, 5), middle).alphaF();
    EXPECT_NEAR(idle, 0.75, 0.02);

    // Approval: a dark exclamation mark on a filled hexagon.
    const double calm = std::numbers::pi / 5;  // sin(5t) = 0: no pulse, the ripple phase is known
    const QImage approval = render(BotState::approval, calm, 5);
    const QColor mark = pixel(approval, {kSide / 2.0, kSide / 2.0 - 0.15 * kR});
    EXPECT_GT(mark.alphaF(), 0.97);
    EXPECT_LT(mark.redF(), 0.25);
    expectColour(pixel(approval, {kSide / 2.0 - 0.3 * kR, kSide / 2.0}),
                 paletteColor(BotState::approval));

    // Question: a filled hexagon at 0.75 … 1 of the tint with a dark "?" in it.
    const QImage question = render(BotState::question, 0, 5);
    int dark = 0;
    for (int y = int(kSide / 2.0 - 0.3 * kR); y < int(kSide / 2.0 + 0.3 * kR); ++y) {
        if (question.pixelColor(kSide / 2, y).redF() < 0.2) ++dark;
    }
    EXPECT_GT(dark, 5);
    const QColor fill = question.pixelColor(int(kSide / 2.0 - 0.5 * kR), kSide / 2);
    EXPECT_NEAR(fill.alphaF(), 0.75, 0.02);

    EXPECT_LT(pixel(render(BotState::sleeping, 0, 5), middle).alphaF(), 0.02);
}

TEST(HexRendererSessionTest, SeedsDesynchroniseAndFutureChangesCountAsNow) {
    const Instant now = kAnimationEpoch + 12345.6;
    AgentSession a;
    a.state = a.previousState = BotState::working;
    a.stateChangedAt = now - 10;
    AgentSession b = a;
    b.seed = 0.37;
    auto draw = [&](const AgentSession& session) {
        QImage image(64, 64, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        HexRenderer::draw(painter, QSizeF(64, 64), session, now);
        return image;
    };
    EXPECT_NE(draw(a), draw(b));

    AgentSession future = a;
    future.state = BotState::finished;
    future.stateChangedAt = now + 30;
    QImage expected(64, 64, QImage::Format_ARGB32_Premultiplied);
    expected.fill(Qt::transparent);
    {
        QPainter painter(&expected);
        HexRenderer::drawFrame(painter, QSizeF(64, 64), BotState::finished, BotState::working,
                               now - kAnimationEpoch, 0);
    }
    EXPECT_EQ(draw(future), expected);
}

TEST(HexRendererScaleTest, HighDensityDrawingMatchesAndEmptyAreasDrawNothing) {
    const QImage normal = render(BotState::approval, BotState::approval, 3, 5, 1);
    const QImage dense = render(BotState::approval, BotState::approval, 3, 5, 2);
    ASSERT_EQ(dense.width(), 2 * kSide);
    for (QPointF point : {QPointF(100, 100), QPointF(100 + 0.866 * kR, 100), QPointF(100, 12),
                          QPointF(100 + 1.15 * kR, 100)}) {
        const double expected = pixel(normal, point).alphaF();
        EXPECT_NEAR(dense.pixelColor(int(point.x() * 2), int(point.y() * 2)).alphaF(), expected,
                    0.08)
            << point.x() << "," << point.y();
    }
    QImage image(8, 8, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    HexRenderer::drawFrame(painter, QSizeF(0, 8), BotState::idle, BotState::idle, 0, 0);
    painter.end();
    EXPECT_EQ(image.pixelColor(4, 4).alpha(), 0);
}

}  // namespace
}  // namespace brimwick
