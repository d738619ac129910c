#include "island/qt/ear_view.h"

#include <QFontMetricsF>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <limits>

#include "island/island_layout.h"
#include "island/qt/island_painting.h"
#include "island/qt/island_shapes.h"
#include "mascot/mascot_motion.h"
#include "mascot/qt/hex_renderer.h"

namespace brimwick {
namespace {

constexpr Rgb kAmber{1.0, 0.76, 0.36};
constexpr Rgb kWhite{1, 1, 1};

double clamp01(double x) {
    return std::clamp(x, 0.0, 1.0);
}

double itemWidth(double h) {
    return 1.1 * 0.64 * h;
}

QColor countTint(double alert) {
    // White at 0.55 blending into opaque amber.
    const Rgb rgb = mix(kWhite, kAmber, alert);
    return islandColor(rgb, 0.55 + 0.45 * clamp01(alert));
}

void drawFigure(QPainter& painter, const QRectF& rect, double s, int figure, double offsetY,
                double opacity) {
    if (opacity <= 0.002) return;
    painter.save();
    painter.setOpacity(painter.opacity() * opacity);
    painter.setFont(islandFont(s, QFont::Bold));
    painter.setPen(QColor::fromRgbF(1, 1, 1, 0.9f));
    painter.drawText(rect.translated(0, offsetY), Qt::AlignCenter, QString::number(figure));
    painter.restore();
}

}  // namespace

void CountHex::set(int count, bool alert, Instant now) {
    if (count != count_) {
        previous_ = count_;
        count_ = count;
        change_.set(0);
        change_.animate(1, now, kCountSpring);
        plus_.animate(count >= 10 ? 1 : 0, now, kCountSpring);
    }
    alert_.animate(alert ? 1 : 0, now, kAlertEase);
}

bool CountHex::isMoving(Instant now) const {
    return change_.isMoving(now) || plus_.isMoving(now) || alert_.isMoving(now);
}

void CountHex::paint(QPainter& painter, const QRectF& rect, Instant now) const {
    const double s = 0.38 * std::min(rect.width(), rect.height());
    if (!(s > 0)) return;
    const double alert = alert_.value(now);
    const QColor tint = countTint(alert);
    const double lw = std::max(1.2, 0.16 * s);
    const QPointF centre = rect.center();
    const QRectF hexRect(centre.x() - s, centre.y() - s, 2 * s, 2 * s);

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(tint, lw, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(HexShape{0.24}.path(hexRect));

    // The figure and the plus sign cross-fade; a new figure rolls in from below when the count
    // grew and from above when it shrank, while the old one leaves the other way.
    const double plus = clamp01(plus_.value(now));
    const double p = change_.value(now);
    const double direction = count_ >= previous_ ? 1 : -1;
    const double travel = 0.5 * s;
    if (count_ < 10 || plus < 1) {
        const int figure = count_ < 10 ? count_ : previous_;
        drawFigure(painter, hexRect, s, figure, direction * travel * (1 - p),
                   clamp01(p) * (1 - plus));
        if (p < 1 && previous_ != count_ && previous_ < 10 && count_ < 10) {
            drawFigure(painter, hexRect, s, previous_, -direction * travel * p, clamp01(1 - p));
        }
    }
    if (plus > 0.002) {
        painter.save();
        applyEffect(painter, centre, Effect{plus, plus, 0});
        const QColor ink = alert > 0.5 ? tint : QColor::fromRgbF(1, 1, 1, 0.9f);
        painter.setPen(QPen(ink, 0.85 * lw, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.drawPath(
            PlusShape{}.path(QRectF(centre.x() - 0.3 * s, centre.y() - 0.3 * s, 0.6 * s, 0.6 * s)));
        painter.restore();
    }
    painter.restore();
}

EarView::EarView(bool reduceMotion) : reduceMotion_(reduceMotion), countPress_(reduceMotion) {}

void EarView::setReduceMotion(bool on) {
    reduceMotion_ = on;
    countPress_.setReduceMotion(on);
    for (Mascot& mascot : mascots_) mascot.press.setReduceMotion(on);
}

void EarView::update(int sessionCount, bool alert, const std::vector<AgentSession>& visible,
                     Instant now) {
    count_ = sessionCount;
    countPresence_.animate(sessionCount >= 2 ? 1 : 0, now, kListSpring);
    if (sessionCount >= 2) countHex_.set(sessionCount, alert, now);

    // Mascots that left the list poof away in place; staying ones take the new state; new ones
    // arrive. Slots count from the trailing edge, so the last visible session sits there.
    for (Mascot& mascot : mascots_) {
        const auto it = std::find_if(visible.begin(), visible.end(), [&](const AgentSession& s) {
            return s.id == mascot.session.id;
        });
        if (it == visible.end()) {
            if (!mascot.leaving) {
                mascot.leaving = true;
                mascot.poof.animate(1, now, kListSpring);
            }
            continue;
        }
        mascot.session = *it;
        mascot.slot = static_cast<std::size_t>(visible.end() - it - 1);
    }
    for (std::size_t i = 0; i < visible.size(); ++i) {
        const auto it = std::find_if(mascots_.begin(), mascots_.end(), [&](const Mascot& m) {
            return !m.leaving && m.session.id == visible[i].id;
        });
        if (it != mascots_.end()) continue;
        Mascot mascot{visible[i],
                      visible.size() - i - 1,
                      AnimatedValue(0, 0.001),
                      AnimatedValue(0, 0.001),
                      false,
                      PressableStyle(reduceMotion_)};
        mascot.presence.animate(1, now, kListSpring);
        mascots_.push_back(std::move(mascot));
    }
    settle(now);
}

void EarView::setHovering(bool hovering, Instant now) {
    hover_.animate(hovering ? 1.12 : 1.0, now, kHoverSpring);
}

void EarView::settle(Instant now) {
    std::erase_if(mascots_, [&](const Mascot& m) { return m.leaving && !m.poof.isMoving(now); });
}

int EarView::visibleCount() const {
    return static_cast<int>(std::count_if(mascots_.begin(), mascots_.end(),
                                          [](const Mascot& m) { return !m.leaving; }));
}

double EarView::width(double h, double flare) const {
    return sessionEarWidth(h, flare, count_ >= 2, visibleCount());
}

QRectF EarView::slotRect(const QRectF& ear, double h, std::size_t slot) const {
    const double w = itemWidth(h);
    const double d = 0.64 * h;
    const double right = ear.right() - 0.14 * h - static_cast<double>(slot) * (w + 0.16 * h);
    return {right - w, ear.center().y() - d / 2, w, d};
}

QRectF EarView::mascotRect(const QRectF& ear, double h, std::size_t index) const {
    const int count = visibleCount();
    const std::size_t slot = index < static_cast<std::size_t>(count) ? count - index - 1 : 0;
    return slotRect(ear, h, slot);
}

QRectF EarView::countRect(const QRectF& ear, double h) const {
    return slotRect(ear, h, static_cast<std::size_t>(std::max(1, visibleCount())));
}

bool EarView::isMoving(Instant now) const {
    if (countPresence_.isMoving(now) || countHex_.isMoving(now) || countPress_.isMoving(now) ||
        hover_.isMoving(now)) {
        return true;
    }
    return std::any_of(mascots_.begin(), mascots_.end(), [&](const Mascot& m) {
        return m.presence.isMoving(now) || m.poof.isMoving(now) || m.press.isMoving(now) ||
               m.leaving;
    });
}

std::vector<AgentSession> EarView::drawnMascots() const {
    std::vector<AgentSession> drawn;
    for (const Mascot& m : mascots_) drawn.push_back(m.session);
    return drawn;
}

QRectF EarView::mascotArea(const QRectF& ear, double h, Instant now) const {
    const double hover = std::max(1.0, hover_.value(now));
    QRectF area;
    for (const Mascot& m : mascots_) {
        // Hovering scales a mascot about its centre, the approval ripple reaches a twentieth of
        // its height past its top and bottom, and antialiasing a point further.
        const QRectF slot = slotRect(ear, h, m.slot);
        const QSizeF size = slot.size() * hover;
        const QRectF drawn(slot.center() - QPointF(size.width(), size.height()) / 2, size);
        area |= drawn.adjusted(-1, -0.05 * size.height() - 1, 1, 0.05 * size.height() + 1);
    }
    return area;
}

double EarView::mascotsStillFor(Instant now) const {
    double still = std::numeric_limits<double>::infinity();
    for (const Mascot& m : mascots_) {
        const double since = mascotTimes(now, m.session.stateChangedAt, m.session.seed).since;
        still = std::min(still, mascotStillFor(m.session.state, since));
    }
    return still;
}

bool EarView::mascotsCalm() const {
    return !mascots_.empty() && std::all_of(mascots_.begin(), mascots_.end(), [](const Mascot& m) {
        return m.session.state == BotState::idle || m.session.state == BotState::sleeping;
    });
}

void EarView::paint(QPainter& painter, const QRectF& ear, double h, Instant now, bool still) const {
    const double presence = countPresence_.value(now);
    const QRectF countArea = countRect(ear, h);
    if (presence > 0.002 && count_ >= 1 && paintsOver(painter, countArea.adjusted(-2, -2, 2, 2))) {
        // Enters and leaves scaling from 0.4 about its trailing edge, fading.
        const QRectF& rect = countArea;
        painter.save();
        applyEffect(painter, QPointF(rect.right(), rect.center().y()),
                    Effect{0.4 + 0.6 * presence, presence, 0});
        applyEffect(painter, rect.center(), countPress_.effect(now));
        countHex_.paint(painter, rect, now);
        painter.restore();
    }
    const double hover = hover_.value(now);
    for (const Mascot& mascot : mascots_) {
        const QRectF rect = slotRect(ear, h, mascot.slot);
        const double arriving = mascot.presence.value(now);
        const Effect poof = PoofModifier{mascot.poof.value(now)}.effect();
        painter.save();
        if (mascot.leaving) {
            applyEffect(painter, rect.center(), Effect{poof.scale, poof.opacity, 0});
        } else {
            applyEffect(painter, QPointF(rect.right(), rect.center().y()),
                        Effect{0.1 + 0.9 * arriving, arriving, 0});
        }
        applyEffect(painter, rect.center(), mascot.press.effect(now));
        applyEffect(painter, rect.center(), Effect{hover, 1, 0});
        const auto draw = [&](QPainter& p) {
            p.save();
            p.translate(rect.topLeft());
            if (still) {
                sprites_.draw(p, rect.size(), mascot.session, now);
            } else {
                HexRenderer::draw(p, rect.size(), mascot.session, now);
            }
            p.restore();
        };
        if (mascot.leaving && poof.blur > 0.05) {
            drawBlurred(painter, rect, poof.blur, draw);
        } else {
            draw(painter);
        }
        painter.restore();
    }
}

EarView::Target EarView::targetAt(QPointF point, const QRectF& ear, double h) const {
    if (count_ >= 2 && countRect(ear, h).contains(point)) return {Target::Kind::count, {}};
    for (const Mascot& m : mascots_) {
        if (!m.leaving && slotRect(ear, h, m.slot).contains(point)) {
            return {Target::Kind::session, m.session.id};
        }
    }
    return {};
}

void EarView::setPressed(const Target& target, bool pressed, Instant now) {
    if (target.kind == Target::Kind::count) countPress_.setPressed(pressed, now);
    for (Mascot& m : mascots_) {
        if (target.kind == Target::Kind::session && m.session.id == target.sessionId) {
            m.press.setPressed(pressed, now);
        }
    }
}

std::optional<AgentSession> EarView::session(const std::string& id) const {
    for (const Mascot& m : mascots_) {
        if (!m.leaving && m.session.id == id) return m.session;
    }
    return std::nullopt;
}

std::string EarView::countLabel() const {
    return std::to_string(count_) + " sessions";
}

std::vector<std::string> EarView::spokenLabels() const {
    std::vector<std::string> labels;
    if (count_ >= 2) labels.push_back(countLabel());
    for (const Mascot& m : mascots_) {
        if (!m.leaving) labels.push_back(sessionLabel(m.session));
    }
    return labels;
}

std::string EarView::sessionLabel(const AgentSession& session) {
    return session.project + ": " + std::string(label(session.state));
}

}  // namespace brimwick
