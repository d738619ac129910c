// TamselMark: the maker's brand mark, a rounded hexagonal cell around a letter T, kept as two
// vector paths in a 100-unit square so it can be drawn crisply at any size.
#pragma once

#include <QColor>
#include <QImage>
#include <QPainterPath>
#include <QString>

class QPainter;

namespace brimwick {

// Pure drawing; main (GUI) thread like all painting.
class TamselMark {
  public:
    TamselMark() = delete;

    // The side of the design square, and the mark's natural size in points.
    static constexpr double kDesignSide = 100;
    static constexpr int kNaturalSide = 64;

    // Read out by screen readers for the mark.
    static QString accessibleName() { return QStringLiteral("TAMSEL"); }

    // The rounded hexagonal cell: a ring, filled with the odd-even rule.
    static QPainterPath cellPath();
    // The letter inside the cell, filled.
    static QPainterPath letterPath();

    // Draws both paths in `color`, scaled to a square of `side` points at `origin`.
    static void draw(QPainter& painter, const QPointF& origin, double side, const QColor& color);

    // The mark as an image of `side` × `side` points at `devicePixelRatio`, transparent around
    // it. Monochrome, so callers tint it like a template image.
    static QImage markImage(double side, const QColor& color = Qt::black,
                            double devicePixelRatio = 1);
};

}  // namespace brimwick
