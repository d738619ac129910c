#include "mascot/qt/path_trim.h"

#include <gtest/gtest.h>

#include <QLineF>
#include <cmath>
#include <numbers>

#include "mascot/qt/hex_renderer.h"

namespace brimwick {
namespace {

constexpr double kSqrt3 = 1.7320508075688772;

double distance(QPointF a, QPointF b) {
    return QLineF(a, b).length();
}

int subpathCount(const QPainterPath& path) {
    int count = 0;
    for (int i = 0; i < path.elementCount(); ++i) {
        if (path.elementAt(i).type == QPainterPath::MoveToElement) ++count;
    }
    return count;
}

// Exact length of the rounded hexagon: six shortened edges and six 60° arcs.
double hexLength(double r, double c) {
    return 6 * (r - 2 * c / kSqrt3) + 2 * std::numbers::pi * c;
}

TEST(HexPathTest, StartsMidwayAlongTheTopRightEdgeAndRunsClockwise) {
    const QPainterPath path = HexRenderer::hexPath(10, 2);
    const PathTrimmer trimmer(path);
    EXPECT_NEAR(trimmer.pointAt(0).x(), 0.25 * kSqrt3 * 10, 1e-9);
    EXPECT_NEAR(trimmer.pointAt(0).y(), -7.5, 1e-9);
    // The mid-edge points come every sixth of the way, clockwise on screen (y downward).
    const QPointF midRight(0.5 * kSqrt3 * 10, 0);
    const QPointF midBottomLeft(-0.25 * kSqrt3 * 10, 7.5);
    EXPECT_LT(distance(trimmer.pointAt(1.0 / 6), midRight), 1e-6);
    EXPECT_LT(distance(trimmer.pointAt(0.5), midBottomLeft), 1e-6);
    EXPECT_LT(distance(trimmer.pointAt(1), trimmer.pointAt(0)), 1e-9);
    EXPECT_NEAR(trimmer.length(), hexLength(10, 2), 5e-3);  // curves are measured by chords
}

TEST(HexPathTest, CornersSitOnTheRadiusAndAreRoundedByTheCornerRadius) {
    const double r = 10;
    const QPainterPath sharp = HexRenderer::hexPath(r, 0);
    const QPointF corners[] = {
        {0, -r}, {0.5 * kSqrt3 * r, -0.5 * r}, {0.5 * kSqrt3 * r, 0.5 * r},
        {0, r},  {-0.5 * kSqrt3 * r, 0.5 * r}, {-0.5 * kSqrt3 * r, -0.5 * r}};
    // Without rounding the outline passes exactly through each corner, upper right first.
    const PathTrimmer sharpTrimmer(sharp);
    EXPECT_NEAR(sharpTrimmer.length(), 6 * r, 1e-9);
    for (int k = 1; k <= 6; ++k) {
        const QPointF expected = corners[k % 6];
        EXPECT_LT(distance(sharpTrimmer.pointAt((k - 0.5) / 6), expected), 1e-9) << k;
    }
    // With rounding, the middle of each arc lies c / sin 60° − c inside the corner.
    const double c = 2.4;
    const PathTrimmer round(HexRenderer::hexPath(r, c));
    for (int k = 1; k <= 6; ++k) {
        const QPointF mid = round.pointAt((k - 0.5) / 6);
        EXPECT_NEAR(distance(mid, {0, 0}), r - (2 * c / kSqrt3 - c), 1e-3) << k;
        EXPECT_LT(distance(mid, corners[k % 6] * (1 - (2 * c / kSqrt3 - c) / r)), 1e-3) << k;
    }
    EXPECT_TRUE(HexRenderer::hexPath(0, 1).isEmpty());
    EXPECT_TRUE(HexRenderer::hexPath(-3, 1).isEmpty());
    // A corner too large for the edges is limited to half an edge on each side.
    EXPECT_NEAR(PathTrimmer(HexRenderer::hexPath(r, 50)).length(),
                2 * std::numbers::pi * r * kSqrt3 / 2, 0.05 * r);
    const QRectF bounds = HexRenderer::hexPath(r, c).boundingRect();
    EXPECT_NEAR(bounds.left(), -0.5 * kSqrt3 * r, 1e-9);  // the flat sides are untouched
    EXPECT_LT(bounds.top(), -r + 0.5);
}

TEST(PathTrimTest, PiecesStartAndEndWhereAskedAlongCurvesToo) {
    const QPainterPath hex = HexRenderer::hexPath(20, 5);
    const PathTrimmer trimmer(hex);
    for (double from : {0.0, 0.03, 0.41, 0.77}) {
        const QPainterPath piece = trimmer.trimmed(from, from + 0.2);
        EXPECT_LT(distance(piece.elementAt(0), trimmer.pointAt(from)), 1e-9);
        EXPECT_LT(distance(piece.currentPosition(), trimmer.pointAt(from + 0.2)), 1e-9);
        EXPECT_NEAR(PathTrimmer(piece).length(), 0.2 * trimmer.length(), 0.01);
    }
    EXPECT_TRUE(trimmer.trimmed(0.5, 0.5).isEmpty());
    EXPECT_TRUE(trimmer.trimmed(0.6, 0.2).isEmpty());
    EXPECT_NEAR(PathTrimmer(trimmer.trimmed(-1, 2)).length(), trimmer.length(), 1e-6);
}

TEST(PathTrimTest, APieceRunningPastTheEndWrapsWithoutAGap) {
    const QPainterPath hex = HexRenderer::hexPath(20, 5);
    const PathTrimmer trimmer(hex);
    const QPainterPath piece = trimmer.wrapped(0.9, 1.24);
    EXPECT_EQ(subpathCount(piece), 1);  // one continuous stroke through the start
    EXPECT_LT(distance(piece.elementAt(0), trimmer.pointAt(0.9)), 1e-9);
    EXPECT_LT(distance(piece.currentPosition(), trimmer.pointAt(0.24)), 1e-9);
    EXPECT_NEAR(PathTrimmer(piece).length(), 0.34 * trimmer.length(), 0.01);

    // Starts are taken modulo 1, and a piece of the whole length is the whole outline.
    const QPainterPath shifted = trimmer.wrapped(1.9, 2.24);
    EXPECT_LT(distance(shifted.elementAt(0), trimmer.pointAt(0.9)), 1e-9);
    EXPECT_NEAR(PathTrimmer(trimmer.wrapped(0.3, 1.5)).length(), trimmer.length(), 1e-6);
    // Within the outline it is a plain trim.
    EXPECT_EQ(subpathCount(trimmer.wrapped(0.2, 0.4)), 1);
}

TEST(PathTrimTest, SeveralPiecesShareOnePathAndOpenPathsDoNotJoin) {
    const QPainterPath hex = HexRenderer::hexPath(20, 5);
    const PathTrimmer trimmer(hex);
    QPainterPath both;
    trimmer.appendWrapped(both, 0.7, 0.9);
    trimmer.appendWrapped(both, 0.2, 0.4);
    EXPECT_EQ(subpathCount(both), 2);

    QPainterPath open;  // an L: its end is not its start, so a wrapped piece has two parts
    open.moveTo(0, 0);
    open.lineTo(10, 0);
    open.lineTo(10, 10);
    const QPainterPath wrapped = wrappedTrim(open, 0.75, 1.25);
    EXPECT_EQ(subpathCount(wrapped), 2);
    EXPECT_LT(distance(wrapped.elementAt(0), {10, 5}), 1e-9);
    EXPECT_LT(distance(wrapped.currentPosition(), {5, 0}), 1e-9);
}

TEST(PathTrimTest, PolylinesAndSeparateSubpaths) {
    QPainterPath check;
    check.moveTo(0, 0);
    check.lineTo(3, 4);    // length 5
    check.lineTo(3, 9);    // length 5
    check.moveTo(20, 20);  // a second subpath, length 10
    check.lineTo(30, 20);
    const PathTrimmer trimmer(check);
    EXPECT_DOUBLE_EQ(trimmer.length(), 20);
    const QPainterPath first = trimmer.trimmed(0, 0.375);
    EXPECT_LT(distance(first.currentPosition(), {3, 6.5}), 1e-9);
    const QPainterPath across = trimmer.trimmed(0.4, 0.75);
    EXPECT_EQ(subpathCount(across), 2);
    EXPECT_LT(distance(across.currentPosition(), {25, 20}), 1e-9);
    EXPECT_TRUE(PathTrimmer(QPainterPath()).trimmed(0, 1).isEmpty());
    EXPECT_EQ(PathTrimmer(QPainterPath()).pointAt(0.5), QPointF());
}

}  // namespace
}  // namespace brimwick
