// PathTrimmer: cuts pieces out of a path by fraction of its length, as the stroked highlights
// of the mascot, the menu-bar icon and the island's hexagon shapes need.
#pragma once

#include <QPainterPath>
#include <QPointF>
#include <array>
#include <vector>

namespace brimwick {

// Measures a path of lines and cubic curves once (QPainterPath turns arcs into cubics), so
// several pieces of the same outline can be cut per frame. Fractions count along every
// subpath in order; a piece that crosses into the next subpath starts a new subpath there.
// Plain value; any thread, but QPainterPath itself is not shared across threads here.
class PathTrimmer {
  public:
    explicit PathTrimmer(const QPainterPath& path);

    double length() const { return length_; }

    // The point at `fraction` (clamped to 0 … 1) of the length; the origin for an empty path.
    QPointF pointAt(double fraction) const;

    // The part between the fractions `from` and `to`, both clamped to 0 … 1; empty when
    // `to` <= `from`.
    QPainterPath trimmed(double from, double to) const;

    // A piece that may run past the end of a closed outline: when `end` > 1 it is the part from
    // `start` to 1 followed by the part from 0 to `end` − 1, joined into one continuous stroke
    // (no gap where the outline starts). `start` is taken modulo 1; a piece of length 1 or more
    // is the whole outline.
    QPainterPath wrapped(double start, double end) const;

    // As trimmed/wrapped, appended to `out`. A piece whose first point is the current position
    // of `out` continues its subpath instead of starting a new one.
    void appendTrimmed(QPainterPath& out, double from, double to) const;
    void appendWrapped(QPainterPath& out, double start, double end) const;

  private:
    static constexpr int kSamples = 16;  // chords per cubic for measuring
    struct Segment {
        std::array<QPointF, 4> p;  // line: p[0] → p[1]; cubic: p[0] … p[3]
        bool cubic = false;
        bool startsSubpath = false;
        double offset = 0;  // length of everything before this segment
        double length = 0;
        std::array<double, kSamples + 1> lengthAt{};  // cubic only: length up to sample i
    };

    double parameterAt(const Segment& segment, double distance) const;
    QPointF pointOn(const Segment& segment, double u) const;

    std::vector<Segment> segments_;
    double length_ = 0;
};

// One-shot forms for a single piece.
QPainterPath trimmedPath(const QPainterPath& path, double from, double to);
QPainterPath wrappedTrim(const QPainterPath& path, double start, double end);

}  // namespace brimwick
