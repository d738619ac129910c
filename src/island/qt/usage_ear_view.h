// UsageEarView: the island's right ear, a hexagonal ring that drains as the plan is used
// (UsageRing), the time until the five-hour window resets and the share of the week left.
#pragma once

#include <QRectF>
#include <QString>
#include <optional>
#include <string>

#include "island/animated_value.h"
#include "island/view_effects.h"
#include "usage/usage_api.h"

class QPainter;

namespace brimwick {

// The ring for one limit. A change of the figure flashes the arc, a reset (100 % left) sends
// out a ripple, neither with reduce motion. Main thread.
class UsageRing {
  public:
    static constexpr Spring kLimitSpring{0.5, 0.8};
    static constexpr EaseOut kHoverEase{0.2};
    static constexpr EaseOut kFlashEase{0.7};
    static constexpr EaseOut kRippleEase{0.9};

    explicit UsageRing(bool reduceMotion = false) : reduceMotion_(reduceMotion) {}
    void setReduceMotion(bool on) { reduceMotion_ = on; }

    // The first limit is shown as it is; later ones animate and may flash or ripple.
    void setLimit(const UsageLimit& limit, Instant now);
    void setHovering(bool hovering, Instant now);

    // Draws centred in `rect`: s = 0.38 × its smaller side.
    void paint(QPainter& painter, const QRectF& rect, Instant now) const;
    bool isMoving(Instant now) const;

    int percent() const { return percent_; }
    // The animated counters behind the flash and the ripple (their targets).
    double pulses() const { return pulses_.target(); }
    double ripples() const { return ripples_.target(); }

  private:
    bool reduceMotion_;
    bool hasLimit_ = false;
    int percent_ = 100;
    int previousPercent_ = 100;
    AnimatedValue left_{1, 0.0005};  // fraction left, drives the arc
    AnimatedValue red_{0.93, 0.002}, green_{0.94, 0.002}, blue_{0.96, 0.002};
    AnimatedValue full_{1, 0.001};    // 1 while the centre is the filled hexagon
    AnimatedValue change_{1, 0.001};  // 0 → 1 while a new figure replaces the old
    AnimatedValue hover_{0, 0.001};
    AnimatedValue pulses_{0, 0.001};
    AnimatedValue ripples_{0, 0.001};
};

// Main thread. Redrawn by its owner at least every 30 seconds so the countdown stays current.
class UsageEarView {
  public:
    static constexpr Spring kHoverSpring{0.25, 0.6};

    explicit UsageEarView(bool reduceMotion = false);

    // `usage` has at least one limit; `stale` while the usage store reports a problem.
    void update(const PlanUsage& usage, bool stale, Instant now);
    void setHovering(bool hovering, Instant now);
    void setPressed(bool pressed, Instant now) { press_.setPressed(pressed, now); }
    void setReduceMotion(bool on) {
        ring_.setReduceMotion(on);
        press_.setReduceMotion(on);
    }

    // The ear's width at `now` (the countdown's text width changes with time).
    double width(double h, double flare, Instant now) const;
    // Draws into `ear`, the ear's frame of height h.
    void paint(QPainter& painter, const QRectF& ear, double h, Instant now) const;
    bool isMoving(Instant now) const;

    // The two text lines at `now`; empty when the limit is absent.
    QString countdownText(Instant now) const;
    QString weekLine() const;
    std::string accessibilityText() const;
    bool stale() const { return stale_; }
    const UsageRing& ring() const { return ring_; }
    QRectF ringRect(const QRectF& ear, double h) const;

  private:
    double textWidth(double h, Instant now) const;

    PlanUsage usage_;
    bool stale_ = false;
    UsageRing ring_;
    PressableStyle press_;
    AnimatedValue hover_{1, 0.0005};
};

}  // namespace brimwick
