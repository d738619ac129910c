#include "mascot/qt/path_trim.h"

#include <QLineF>
#include <algorithm>
#include <cmath>

namespace brimwick {
namespace {

QPointF lerp(const QPointF& a, const QPointF& b, double u) {
    return a + (b - a) * u;
}

QPointF cubicPoint(const std::array<QPointF, 4>& p, double u) {
    const double v = 1 - u;
    return p[0] * (v * v * v) + p[1] * (3 * v * v * u) + p[2] * (3 * v * u * u) +
           p[3] * (u * u * u);
}

// The part of the cubic between parameters u0 < u1 (de Casteljau, twice).
std::array<QPointF, 4> subCubic(const std::array<QPointF, 4>& p, double u0, double u1) {
    // Left part [0, u1].
    const QPointF a = lerp(p[0], p[1], u1), b = lerp(p[1], p[2], u1), c = lerp(p[2], p[3], u1);
    const QPointF d = lerp(a, b, u1), e = lerp(b, c, u1);
    const QPointF f = lerp(d, e, u1);
    std::array<QPointF, 4> left = {p[0], a, d, f};
    if (u0 <= 0 || u1 <= 0) return left;
    // Right part of the left piece, from u0 / u1.
    const double s = u0 / u1;
    const QPointF g = lerp(left[0], left[1], s), h = lerp(left[1], left[2], s),
                  i = lerp(left[2], left[3], s);
    const QPointF j = lerp(g, h, s), k = lerp(h, i, s);
    return {lerp(j, k, s), k, i, left[3]};
}

bool samePoint(const QPointF& a, const QPointF& b) {
    return std::abs(a.x() - b.x()) < 1e-9 && std::abs(a.y() - b.y()) < 1e-9;
}

}  // namespace

PathTrimmer::PathTrimmer(const QPainterPath& path) {
    QPointF current;
    bool newSubpath = true;
    const int count = path.elementCount();
    segments_.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const QPainterPath::Element element = path.elementAt(i);
        const QPointF point(element.x, element.y);
        if (element.type == QPainterPath::MoveToElement) {
            current = point;
            newSubpath = true;
            continue;
        }
        Segment segment;
        segment.startsSubpath = newSubpath;
        segment.offset = length_;
        if (element.type == QPainterPath::CurveToElement && i + 2 < count) {
            const QPainterPath::Element c2 = path.elementAt(i + 1);
            const QPainterPath::Element end = path.elementAt(i + 2);
            segment.cubic = true;
            segment.p = {current, point, QPointF(c2.x, c2.y), QPointF(end.x, end.y)};
            QPointF previous = current;
            for (int s = 1; s <= kSamples; ++s) {
                const QPointF next = cubicPoint(segment.p, double(s) / kSamples);
                segment.lengthAt[s] = segment.lengthAt[s - 1] + QLineF(previous, next).length();
                previous = next;
            }
            segment.length = segment.lengthAt[kSamples];
            i += 2;
        } else {
            segment.p = {current, point, point, point};
            segment.length = QLineF(current, point).length();
        }
        current = segment.p[segment.cubic ? 3 : 1];
        if (segment.length <= 0) continue;  // keeps subpath start flag for the next one
        newSubpath = false;
        length_ += segment.length;
        segments_.push_back(segment);
    }
}

double PathTrimmer::parameterAt(const Segment& segment, double distance) const {
    if (segment.length <= 0) return 0;
    if (!segment.cubic) return std::clamp(distance / segment.length, 0.0, 1.0);
    const auto& table = segment.lengthAt;
    const auto it = std::lower_bound(table.begin() + 1, table.end(), distance);
    if (it == table.end()) return 1;
    const int index = static_cast<int>(it - table.begin());
    const double before = table[index - 1];
    const double span = table[index] - before;
    const double within = span > 0 ? (distance - before) / span : 0;
    return std::clamp((index - 1 + within) / kSamples, 0.0, 1.0);
}

QPointF PathTrimmer::pointOn(const Segment& segment, double u) const {
    return segment.cubic ? cubicPoint(segment.p, u) : lerp(segment.p[0], segment.p[1], u);
}

QPointF PathTrimmer::pointAt(double fraction) const {
    if (segments_.empty()) return {};
    const double distance = std::clamp(fraction, 0.0, 1.0) * length_;
    for (const Segment& segment : segments_) {
        if (distance <= segment.offset + segment.length) {
            return pointOn(segment, parameterAt(segment, distance - segment.offset));
        }
    }
    const Segment& last = segments_.back();
    return pointOn(last, 1);
}

void PathTrimmer::appendTrimmed(QPainterPath& out, double from, double to) const {
    from = std::clamp(from, 0.0, 1.0) * length_;
    to = std::clamp(to, 0.0, 1.0) * length_;
    if (to <= from) return;
    bool first = true;
    for (const Segment& segment : segments_) {
        const double begin = segment.offset, finish = segment.offset + segment.length;
        if (finish <= from) continue;
        if (begin >= to) break;
        const double u0 = begin >= from ? 0 : parameterAt(segment, from - begin);
        const double u1 = finish <= to ? 1 : parameterAt(segment, to - begin);
        const QPointF start = pointOn(segment, u0);
        const bool continues = !out.isEmpty() && samePoint(out.currentPosition(), start);
        if ((first || segment.startsSubpath) && !continues) out.moveTo(start);
        first = false;
        if (segment.cubic) {
            const auto part = subCubic(segment.p, u0, u1);
            out.cubicTo(part[1], part[2], part[3]);
        } else {
            out.lineTo(lerp(segment.p[0], segment.p[1], u1));
        }
    }
}

void PathTrimmer::appendWrapped(QPainterPath& out, double start, double end) const {
    if (end - start >= 1) {
        appendTrimmed(out, 0, 1);
        return;
    }
    const double shift = std::floor(start);
    start -= shift;
    end -= shift;
    if (end <= 1) {
        appendTrimmed(out, start, end);
        return;
    }
    appendTrimmed(out, start, 1);
    appendTrimmed(out, 0, end - 1);
}

QPainterPath PathTrimmer::trimmed(double from, double to) const {
    QPainterPath out;
    appendTrimmed(out, from, to);
    return out;
}

QPainterPath PathTrimmer::wrapped(double start, double end) const {
    QPainterPath out;
    appendWrapped(out, start, end);
    return out;
}

QPainterPath trimmedPath(const QPainterPath& path, double from, double to) {
    return PathTrimmer(path).trimmed(from, to);
}

QPainterPath wrappedTrim(const QPainterPath& path, double start, double end) {
    return PathTrimmer(path).wrapped(start, end);
}

}  // namespace brimwick
