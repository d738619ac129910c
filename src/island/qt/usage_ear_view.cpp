#include "island/qt/usage_ear_view.h"

#include <QFontMetricsF>
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "core/percent.h"
#include "island/island_layout.h"
#include "island/qt/island_painting.h"
#include "island/qt/island_shapes.h"
#include "island/usage_ear_model.h"
#include "usage/usage_store.h"

namespace brimwick {
namespace {

double clamp01(double x) {
    return std::clamp(x, 0.0, 1.0);
}

QFont countdownFont(double h) {
    return islandFont(0.3 * h, QFont::DemiBold);
}
QFont weekFont(double h) {
    return islandFont(0.26 * h, QFont::Medium);
}

QPen ringPen(const QColor& color, double width) {
    return QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

}  // namespace

void UsageRing::setLimit(const UsageLimit& limit, Instant now) {
    const double left = fractionLeft(limit);
    const int percent = percentLeft(limit.used);
    const Rgb tint = usageTint(left);
    if (!hasLimit_) {
        hasLimit_ = true;
        percent_ = previousPercent_ = percent;
        left_.set(left);
        red_.set(tint.red);
        green_.set(tint.green);
        blue_.set(tint.blue);
        full_.set(percent >= 100 ? 1 : 0);
        return;
    }
    left_.animate(left, now, kLimitSpring);
    red_.animate(tint.red, now, kLimitSpring);
    green_.animate(tint.green, now, kLimitSpring);
    blue_.animate(tint.blue, now, kLimitSpring);
    full_.animate(percent >= 100 ? 1 : 0, now, kLimitSpring);
    if (percent == percent_) return;
    switch (ringReaction(percent_, percent, reduceMotion_)) {
        case RingReaction::ripple:
            ripples_.animate(std::floor(ripples_.target()) + 1, now, kRippleEase);
            break;
        case RingReaction::flash:
            pulses_.animate(std::floor(pulses_.target()) + 1, now, kFlashEase);
            break;
        case RingReaction::none:
            break;
    }
    previousPercent_ = percent_;
    percent_ = percent;
    change_.set(0);
    change_.animate(1, now, kLimitSpring);
}

void UsageRing::setHovering(bool hovering, Instant now) {
    hover_.animate(hovering ? 1 : 0, now, kHoverEase);
}

bool UsageRing::isMoving(Instant now) const {
    for (const AnimatedValue* value :
         {&left_, &red_, &green_, &blue_, &full_, &change_, &hover_, &pulses_, &ripples_}) {
        if (value->isMoving(now)) return true;
    }
    return false;
}

void UsageRing::paint(QPainter& painter, const QRectF& rect, Instant now) const {
    const double s = 0.38 * std::min(rect.width(), rect.height());
    if (!(s > 0)) return;
    const double lw = std::max(1.2, 0.16 * s);
    const Rgb tintRgb{clamp01(red_.value(now)), clamp01(green_.value(now)),
                      clamp01(blue_.value(now))};
    const QColor tint = islandColor(tintRgb);
    const double hover = clamp01(hover_.value(now));
    const QPointF centre = rect.center();
    const QRectF frame(centre.x() - s, centre.y() - s, 2 * s, 2 * s);
    const QPainterPath hexagon = HexShape{0.38}.path(frame);
    const QPainterPath arc = HexArc{0.38, left_.value(now)}.path(frame);
    const QColor trackColor = islandColor(tintRgb, 0.22 + 0.10 * hover);

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Qt::NoBrush);

    // 1. The ripple ring, visible only while a reset's ripple runs.
    const Effect ripple = Ripple{ripples_.value(now)}.effect();
    if (ripple.opacity > 0.002) {
        painter.save();
        applyEffect(painter, centre, ripple);
        painter.setPen(ringPen(trackColor, lw));
        painter.drawPath(hexagon);
        painter.restore();
    }
    // 2. The track.
    painter.setPen(ringPen(trackColor, lw));
    painter.drawPath(hexagon);
    // 3 and 4. The glow under the pointer and the flash of a new figure: the arc blurred.
    const double glow = 0.55 * hover;
    const double flash = Flash{pulses_.value(now)}.effect().opacity;
    if (!arc.isEmpty() && (glow > 0.002 || flash > 0.002)) {
        const auto drawArc = [&](QPainter& p) {
            p.setPen(ringPen(tint, lw));
            p.setBrush(Qt::NoBrush);
            p.drawPath(arc);
        };
        for (const double opacity : {glow, flash}) {
            if (opacity <= 0.002) continue;
            painter.save();
            painter.setOpacity(painter.opacity() * opacity);
            drawBlurred(painter, frame, 1.4 * lw, drawArc);
            painter.restore();
        }
    }
    // 5. The arc.
    painter.setPen(ringPen(tint, lw));
    painter.drawPath(arc);
    // 6. The centre: a filled hexagon at 100 % left, else the figure.
    const double full = clamp01(full_.value(now));
    if (full > 0.002) {
        painter.save();
        applyEffect(painter, centre, Effect{0.3 + 0.7 * full, full, 0});
        painter.setPen(Qt::NoPen);
        painter.setBrush(islandColor(tintRgb, 0.95));
        painter.drawPath(HexShape{0.3}.path(
            QRectF(centre.x() - 0.475 * s, centre.y() - 0.475 * s, 0.95 * s, 0.95 * s)));
        painter.restore();
    }
    if (full < 0.998) {
        painter.setFont(islandFont(0.9 * s, QFont::Bold));
        const double p = clamp01(change_.value(now));
        const QRectF box(centre.x() - 2 * s, centre.y() - s, 4 * s, 2 * s);
        const auto figure = [&](int value, double opacity) {
            if (value >= 100 || opacity <= 0.002) return;
            painter.setPen(islandColor(tintRgb, 0.95 * opacity * (1 - full)));
            painter.drawText(box, Qt::AlignCenter, QString::number(value));
        };
        figure(percent_, p);
        if (p < 1 && previousPercent_ != percent_) figure(previousPercent_, 1 - p);
    }
    painter.restore();
}

UsageEarView::UsageEarView(bool reduceMotion) : ring_(reduceMotion), press_(reduceMotion) {}

void UsageEarView::update(const PlanUsage& usage, bool stale, Instant now) {
    usage_ = usage;
    stale_ = stale;
    if (const auto limit = ringLimit(usage)) ring_.setLimit(*limit, now);
}

void UsageEarView::setHovering(bool hovering, Instant now) {
    hover_.animate(hovering ? 1.06 : 1.0, now, kHoverSpring);
    ring_.setHovering(hovering, now);
}

QString UsageEarView::countdownText(Instant now) const {
    if (!usage_.session) return {};
    return QString::fromStdString(UsageStore::countdown(usage_.session->resetsAt, now));
}

QString UsageEarView::weekLine() const {
    if (!usage_.week) return {};
    return QString::fromStdString(weekText(*usage_.week));
}

std::string UsageEarView::accessibilityText() const {
    return usageAccessibilityText(usage_);
}

double UsageEarView::textWidth(double h, Instant now) const {
    double width = 0;
    if (usage_.session) {
        width =
            std::max(width, QFontMetricsF(countdownFont(h)).horizontalAdvance(countdownText(now)));
    }
    if (usage_.week) {
        width = std::max(width, QFontMetricsF(weekFont(h)).horizontalAdvance(weekLine()));
    }
    return std::ceil(width);
}

double UsageEarView::width(double h, double flare, Instant now) const {
    return usageEarWidth(h, flare, textWidth(h, now));
}

QRectF UsageEarView::ringRect(const QRectF& ear, double h) const {
    const double d = 0.64 * h;
    return {ear.left() + 0.14 * h, ear.center().y() - d / 2, 1.1 * d, d};
}

bool UsageEarView::isMoving(Instant now) const {
    return ring_.isMoving(now) || press_.isMoving(now) || hover_.isMoving(now);
}

void UsageEarView::paint(QPainter& painter, const QRectF& ear, double h, Instant now) const {
    painter.save();
    applyEffect(painter, ear.center(), press_.effect(now));
    const QRectF ring = ringRect(ear, h);
    const double textLeft = ring.right() + 0.18 * h;
    const QRectF row(ring.left(), ear.top(), textLeft + textWidth(h, now) - ring.left(),
                     ear.height());
    applyEffect(painter, row.center(), Effect{hover_.value(now), stale_ ? 0.45 : 1.0, 0});
    ring_.paint(painter, ring, now);

    // The text column, centred vertically as a whole.
    const QFont top = countdownFont(h);
    const QFont bottom = weekFont(h);
    const QFontMetricsF topMetrics(top);
    const QFontMetricsF bottomMetrics(bottom);
    const double height =
        (usage_.session ? topMetrics.height() : 0) + (usage_.week ? bottomMetrics.height() : 0);
    double y = ear.center().y() - height / 2;
    painter.setRenderHint(QPainter::TextAntialiasing);
    if (usage_.session) {
        painter.setFont(top);
        painter.setPen(QColor::fromRgbF(1, 1, 1, 0.9f));
        painter.drawText(QPointF(textLeft, y + topMetrics.ascent()), countdownText(now));
        y += topMetrics.height();
    }
    if (usage_.week) {
        const TextColor color = weekTextColor(fractionLeft(*usage_.week));
        painter.setFont(bottom);
        painter.setPen(islandColor(color.rgb, color.opacity));
        painter.drawText(QPointF(textLeft, y + bottomMetrics.ascent()), weekLine());
    }
    painter.restore();
}

}  // namespace brimwick
