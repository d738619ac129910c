// The mascot as drawn: key frames where a wrong pose, piece or colour shows, kept frames against
// painted ones, the widget showing a session, the outline and its pieces, the brand mark, the blur.
#include <gtest/gtest.h>

#include <QLineF>
#include <QPainter>
#include <QScreen>
#include <functional>
#include <numbers>

#include "mascot/hex_outline_svg.h"
#include "mascot/qt/brand_mark.h"
#include "mascot/qt/glow_blur.h"
#include "mascot/qt/hex_mark.h"
#include "mascot/qt/hex_renderer.h"
#include "mascot/qt/mascot_sprites.h"
#include "mascot/qt/path_trim.h"
#include "support/manual_main_queue.h"

namespace brimwick {
namespace {

using enum BotState;
constexpr double kR = 0.38 * 200, kPi = std::numbers::pi;

QImage paint(QSizeF size, double ratio, QColor under, const std::function<void(QPainter&)>& draw) {
    QImage image((size * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(under);
    QPainter painter(&image);
    draw(painter);
    return image;
}

TEST(HexRendererTest, KeyFramesShowEachStatesPoseTintPiecesAndSymbol) {
    // clang-format off
    const struct {
        BotState state, previous;
        double t, since, f, x, y, lo, hi;  // outline fraction f, or (x, y) in radii when f < 0
        char ink;  // ' ' any colour, 's' the state's, 'p' the previous state's, 'd' dark
    } rows[] = {
        {greeting, idle, 50, 0.35, 0.6, 0, 0, 0.97, 1, 's'},  // 7/8 drawn, still turning in
        {greeting, idle, 50, 0.35, 0.93, 0, 0, 0.2, 0.6, ' '},  // the faint track and the glow
        {finished, working, 70, 0, 1. / 6, 0, 0, 0.97, 1, 'p'},  // the tint slides from blue
        {finished, working, 70, 0.15, -1, 0.34, -0.22, 0, 0.3, ' '},  // the check's tip, drawing
        {finished, working, 70, 0.5, -1, 0.34, -0.22, 0.97, 1, 's'},
        {finished, finished, 70, 0.45, -1, 1.15 * 0.866, 0, 0.3, 1, ' '},  // the ring spreading
        {thinking, thinking, 7.9 / 0.55, 5, 0.97, 0, 0, 0.97, 1, 's'},  // wraps without a gap
        {thinking, thinking, 7.9 / 0.55, 5, 0.005, 0, 0, 0.97, 1, 's'},
        {working, working, 1000.7 / 1.1, 5, 0.3, 0, 0, 0.97, 1, 's'},  // two opposite pieces
        {working, working, 1000.7 / 1.1, 5, 0.55, 0, 0, 0, 0.6, ' '},
        {working, working, 40, 5, -1, 0, 0, 0.97, 1, 's'},  // the small hexagon
        {error, error, 90, 3.23, -1, 0.26, 0, 0.97, 1, 's'},  // the bar's end, shaken at 3.2 s
        {sleeping, sleeping, -kPi / 1.6, 10, 1. / 6, 0, 0, 0.22, 0.3, ' '},  // at its dimmest
        {sleeping, sleeping, 0, 5, -1, 0, 0, 0, 0.02, ' '},  // nothing in the middle
        {idle, idle, 0, 5, -1, 0, 0, 0.73, 0.77, 's'},  // the dot, as opaque as the mascot
        {approval, approval, kPi / 5, 5, -1, 0, -0.15, 0.97, 1, 'd'},  // "!" on a filled hexagon
        {approval, approval, kPi / 5, 5, -1, -0.3, 0, 0.97, 1, 's'},
        {question, question, 0, 5, -1, 0, 0.2, 0.9, 1, 'd'},  // "?" on a hexagon at 0.75
        {question, question, 0, 5, -1, -0.5, 0, 0.73, 0.77, 's'}};
    // clang-format on
    const PathTrimmer outline(HexRenderer::hexPath(kR, 0.24 * kR));
    for (double ratio : {1.0, 2.0}) {  // the same at twice the density
        for (const auto& row : rows) {
            const QImage image = paint({200, 200}, ratio, Qt::transparent, [&](QPainter& p) {
                HexRenderer::drawFrame(p, {200, 200}, row.state, row.previous, row.t, row.since);
            });
            const Pose pose = makePose(row.state, row.t, row.since);
            QTransform posed;
            posed.translate(100 + pose.dx * kR, 100).rotate(pose.angle * 180 / kPi);
            const QPointF at =
                posed.scale(pose.scale, pose.scale)
                    .map(row.f >= 0 ? outline.pointAt(row.f) : QPointF(row.x, row.y) * kR);
            const QColor c = image.pixelColor(int(at.x() * ratio), int(at.y() * ratio));
            const Rgb tint = paletteColor(row.ink == 'p' ? row.previous : row.state);
            const double off = std::abs(c.redF() - tint.red) + std::abs(c.greenF() - tint.green) +
                               std::abs(c.blueF() - tint.blue);
            SCOPED_TRACE(::testing::Message() << rawValue(row.state) << " " << row.since << " "
                                              << row.f << " x" << ratio);
            EXPECT_TRUE(c.alphaF() >= row.lo && c.alphaF() <= row.hi) << c.alphaF();
            EXPECT_TRUE(row.ink != 'd' || c.redF() + c.greenF() + c.blueF() < 0.6);
            EXPECT_TRUE(row.ink == 'd' || row.ink == ' ' || off < 0.06) << c.name().toStdString();
        }
    }
    EXPECT_EQ(paint({8, 8}, 1, Qt::transparent,
                    [](QPainter& p) {
                        HexRenderer::drawFrame(p, {0, 8}, idle, idle, 0, 0);
                    })
                  .pixelColor(4, 4)
                  .alpha(),
              0);
}

// The largest (or mean) difference of any byte between kept and painted frames of the island's
// mascot over its black, off the pixel grid.
double difference(MascotSprites& sprites, BotState state, double t, double since, double ratio,
                  bool mean = false, double turn = 0) {
    auto frame = [&](bool kept) {
        return paint({30, 26}, ratio, Qt::black, [&](QPainter& p) {
            p.translate(3.3, 2.7);
            p.rotate(turn);
            if (kept) sprites.drawFrame(p, {22.5, 20.5}, state, state, t, since);
            if (!kept) HexRenderer::drawFrame(p, {22.5, 20.5}, state, state, t, since);
        });
    };
    const QImage live = frame(false), kept = frame(true);
    double largest = 0, sum = 0;
    for (qsizetype i = 0; i < live.sizeInBytes(); ++i) {
        const int d = std::abs(live.constBits()[i] - kept.constBits()[i]);
        largest = std::max<double>(largest, d);
        sum += d;
    }
    return mean ? sum / live.sizeInBytes() : largest;
}

TEST(MascotSpritesTest, KeptFramesLookLikePaintedOnesAndChangesArePaintedLive) {
    MascotSprites sprites;
    // At t = 0 every motion sits on a kept position; the second density drops the first's masks.
    for (double ratio : {1.0, 2.0}) {
        for (BotState state : kAllBotStates) {
            EXPECT_LE(difference(sprites, state, 0, 5, ratio), 10) << rawValue(state) << ratio;
        }
    }
    EXPECT_EQ(sprites.liveFrames(), 0u);
    // Mid-turn in a later cycle: a wrong fold of the turn would move the pieces a sixth round.
    EXPECT_LT(difference(sprites, working, 1.2 * 7 + 0.2, 5, 2, true), 2);
    MascotSprites fresh;  // the sliding colour, the check and ring, the outline drawing itself,
    difference(fresh, working, 3, 0.2, 1);  // and a painter that is not a plain scale and shift
    difference(fresh, finished, 3, 0.5, 1);
    difference(fresh, greeting, 3, 0.6, 1);
    difference(fresh, idle, 3, 5, 1, false, 10);
    EXPECT_EQ(fresh.liveFrames(), 4u);
    EXPECT_EQ(fresh.maskCount(), 0u);
}

TEST(HexMarkTest, PaintsItsSessionAtTheClocksInstantWhileShown) {
    testing::ManualMainQueue clock;
    HexMark mark(clock);
    mark.resize(64, 64);
    AgentSession session;
    const double display = 1.0 / mark.screen()->refreshRate();
    for (BotState state : kAllBotStates) {  // the calm ones at most 30 times a second
        session.state = state;
        mark.setSession(session);
        const bool calm = state == idle || state == sleeping;
        EXPECT_DOUBLE_EQ(mark.frameInterval(), calm ? std::max(display, 1.0 / 30) : display);
    }
    EXPECT_FALSE(mark.isAnimating());
    mark.show();
    EXPECT_TRUE(mark.isAnimating());
    mark.hide();
    EXPECT_FALSE(mark.isAnimating());
    // A change stamped in the future counts as now; seeds put sessions out of step.
    session = AgentSession();
    session.state = finished;
    session.previousState = working;
    session.stateChangedAt = clock.now() + 30;
    auto grab = [&] {
        mark.setSession(session);
        return mark.grab().toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    };
    EXPECT_EQ(grab(), paint({64, 64}, 1, Qt::transparent, [&](QPainter& p) {
                  HexRenderer::drawFrame(p, {64, 64}, finished, working,
                                         clock.now() - kAnimationEpoch, 0);
              }));
    session.state = working;
    const QImage unseeded = grab();
    session.seed = 0.37;
    EXPECT_NE(grab(), unseeded);
}

TEST(HexOutlineTest, RoundedHexagonForQtAndThePhonesPage) {
    // Clockwise from the middle of the top-right edge; corners rounded by tangent arcs.
    EXPECT_EQ(hexOutlineSvgPath(10, 0),
              "M 4.33 -7.5 L 8.66 -5 L 8.66 5 L 0 10 L -8.66 5 L -8.66 -5 L 0 -10 Z");
    EXPECT_EQ(
        hexOutlineSvgPath(10, 2.4),
        "M 4.33 -7.5 L 7.46 -5.693 C 8.203 -5.264 8.66 -4.472 8.66 -3.614 L 8.66 3.614 C 8.66 "
        "4.472 8.203 5.264 7.46 5.693 L 1.2 9.307 C 0.457 9.736 -0.457 9.736 -1.2 9.307 L "
        "-7.46 5.693 C -8.203 5.264 -8.66 4.472 -8.66 3.614 L -8.66 -3.614 C -8.66 -4.472 "
        "-8.203 -5.264 -7.46 -5.693 L -1.2 -9.307 C -0.457 -9.736 0.457 -9.736 1.2 -9.307 Z");
    for (double radius : {0.0, -3.0, std::nan("")}) {
        EXPECT_TRUE(hexOutlineSvgPath(radius, 1).empty() &&
                    HexRenderer::hexPath(radius, 1).isEmpty());
    }
    const PathTrimmer round(HexRenderer::hexPath(10, 2));  // six shortened edges, six 60° arcs
    EXPECT_NEAR(round.length(), 6 * (10 - 4 / std::sqrt(3)) + 4 * kPi, 5e-3);
    EXPECT_LT(QLineF(round.pointAt(1. / 6), {5 * std::sqrt(3), 0}).length(), 1e-6);
    EXPECT_LT(QLineF(round.pointAt(0.5), {-2.5 * std::sqrt(3), 7.5}).length(), 1e-6);
    // A corner too large for the edges is cut back to half an edge each side: a circle.
    EXPECT_NEAR(PathTrimmer(HexRenderer::hexPath(10, 50)).length(), 10 * kPi * std::sqrt(3), 0.5);
}

TEST(PathTrimTest, PiecesByShareOfLengthAcrossSubpathsAndThroughTheStart) {
    QPainterPath lines(QPointF(0, 0));  // lengths 5 and 5, then a second subpath of 10
    lines.lineTo(3, 4);
    lines.lineTo(3, 9);
    lines.moveTo(20, 20);
    lines.lineTo(30, 20);
    const PathTrimmer trimmer(lines);
    auto moves = [](const QPainterPath& path) {  // its subpaths
        int n = 0;
        for (int i = 0; i < path.elementCount(); ++i) n += path.elementAt(i).isMoveTo();
        return n;
    };
    EXPECT_DOUBLE_EQ(trimmer.length(), 20);
    EXPECT_EQ(trimmer.trimmed(0, 0.375).currentPosition(), QPointF(3, 6.5));
    const QPainterPath across = trimmer.trimmed(0.4, 0.75);
    EXPECT_EQ(across.currentPosition(), QPointF(25, 20));
    EXPECT_EQ(moves(across), 2);
    EXPECT_TRUE(trimmer.trimmed(0.5, 0.5).isEmpty() && trimmer.trimmed(0.6, 0.2).isEmpty());
    EXPECT_DOUBLE_EQ(PathTrimmer(trimmer.trimmed(-1, 2)).length(), 20);
    EXPECT_EQ(PathTrimmer(QPainterPath()).pointAt(0.5), QPointF());
    // An open path wraps in two parts; a closed one in one stroke through its start.
    const QPainterPath open = wrappedTrim(lines, 0.75, 1.25);
    EXPECT_EQ(QPointF(open.elementAt(0)), QPointF(25, 20));
    EXPECT_EQ(open.currentPosition(), QPointF(3, 4));
    EXPECT_EQ(moves(open), 2);
    const PathTrimmer hex(HexRenderer::hexPath(20, 5));
    for (const auto& [from, to] : {std::pair{0.9, 1.24}, {1.9, 2.24}, {0.41, 0.61}}) {
        const QPainterPath piece = hex.wrapped(from, to);
        EXPECT_EQ(QPointF(piece.elementAt(0)), hex.pointAt(from - std::floor(from))) << from;
        EXPECT_NEAR(PathTrimmer(piece).length(), (to - from) * hex.length(), 0.01) << from;
        EXPECT_EQ(moves(piece), 1) << from;
    }
    QPainterPath both;  // pieces appended to one path stay apart
    hex.appendWrapped(both, 0.7, 0.9);
    hex.appendWrapped(both, 0.2, 0.4);
    EXPECT_EQ(moves(both), 2);
    EXPECT_NEAR(PathTrimmer(hex.wrapped(0.3, 1.5)).length(), hex.length(), 1e-6);
}

TEST(TamselMarkTest, DrawsTheCellAndTheLetterAtAnySize) {
    EXPECT_EQ(TamselMark::accessibleName(), "TAMSEL");
    EXPECT_TRUE(TamselMark::markImage(0).isNull());
    for (double side : {22.0, 200.0}) {
        const QImage image = TamselMark::markImage(side, Qt::black, 2);
        ASSERT_EQ(image.width(), int(std::ceil(side * 2))) << side;
        auto a = [&](double x, double y) {
            return image.pixelColor(x * side / 50, y * side / 50).alphaF();
        };
        // The letter's stem and bar and the cell's right wall; the gap between, the outside.
        EXPECT_GT(std::min({a(50, 55), a(50, 34), a(86.4, 50)}), 0.9) << side;
        EXPECT_LT(a(30, 55) + a(2, 2), 0.1) << side;
    }
}

TEST(GlowBlurTest, SpreadsSymmetricallyKeepingTheInkAndLeavesTinyRadiiAlone) {
    for (QImage::Format format : {QImage::Format_Alpha8, QImage::Format_ARGB32_Premultiplied}) {
        QImage image(41, 41, format);
        image.fill(Qt::transparent);
        for (int i = 0; i < 25; ++i) image.setPixelColor(18 + i % 5, 18 + i / 5, Qt::black);
        QImage same = image;
        blurImage(same, 0.3);
        EXPECT_EQ(same, image);
        blurImage(image, 3);
        auto a = [&](int x, int y) { return image.pixelColor(x, y).alphaF(); };
        double ink = 0;
        for (int i = 0; i < 41 * 41; ++i) ink += a(i % 41, i / 41);
        EXPECT_NEAR(ink, 25, 0.75);
        EXPECT_NEAR(a(26, 20), a(14, 20), 0.01);
        EXPECT_NEAR(a(20, 26), a(26, 20), 0.01);
        EXPECT_TRUE(a(20, 20) < 0.9 && a(26, 20) < a(20, 20) && a(26, 20) > 0.02 && a(0, 0) == 0);
    }
    QImage rgb(4, 4, QImage::Format_RGB32), empty;
    rgb.fill(Qt::white);
    blurImage(rgb, 2);  // converted, then the transparent outside bleeds in
    EXPECT_TRUE(rgb.format() == QImage::Format_ARGB32_Premultiplied &&
                rgb.pixelColor(0, 0).alpha() < 255);
    blurImage(empty, 4);
    EXPECT_TRUE(empty.isNull());
}

}  // namespace
}  // namespace brimwick
