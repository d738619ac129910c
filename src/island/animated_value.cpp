#include "island/animated_value.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace brimwick {
namespace {

constexpr double kPi = std::numbers::pi;

// Displacement from the target and velocity of a spring that started `t` seconds ago with
// displacement x0 and velocity v0.
struct Motion {
    double x;
    double v;
};

Motion springMotion(const Spring& spring, double x0, double v0, double t) {
    const double w0 = 2 * kPi / spring.response;
    const double zeta = spring.dampingFraction;
    if (zeta < 1) {
        const double sigma = zeta * w0;
        const double wd = w0 * std::sqrt(1 - zeta * zeta);
        const double a = x0;
        const double b = (v0 + sigma * x0) / wd;
        const double decay = std::exp(-sigma * t);
        const double c = std::cos(wd * t);
        const double s = std::sin(wd * t);
        return {decay * (a * c + b * s),
                decay * ((b * wd - sigma * a) * c - (a * wd + sigma * b) * s)};
    }
    if (zeta == 1) {
        const double b = v0 + w0 * x0;
        const double decay = std::exp(-w0 * t);
        return {decay * (x0 + b * t), decay * (b - w0 * (x0 + b * t))};
    }
    const double root = std::sqrt(zeta * zeta - 1);
    const double r1 = -w0 * (zeta - root);  // the slow root
    const double r2 = -w0 * (zeta + root);
    const double c2 = (v0 - r1 * x0) / (r2 - r1);
    const double c1 = x0 - c2;
    const double e1 = std::exp(r1 * t);
    const double e2 = std::exp(r2 * t);
    return {c1 * e1 + c2 * e2, c1 * r1 * e1 + c2 * r2 * e2};
}

// Seconds until the spring's displacement stays below `resolution` for good, from an upper
// bound of the form M · e^(−σt) that holds in every damping regime.
double springSettleTime(const Spring& spring, double x0, double v0, double resolution) {
    const double w0 = 2 * kPi / spring.response;
    const double zeta = spring.dampingFraction;
    double m = 0;
    double sigma = 0;
    if (zeta < 1) {
        sigma = zeta * w0;
        const double wd = w0 * std::sqrt(1 - zeta * zeta);
        m = std::hypot(x0, (v0 + sigma * x0) / wd);
    } else if (zeta == 1) {
        // t · e^(−w0 t) ≤ 2 / (e · w0) · e^(−w0 t / 2)
        sigma = w0 / 2;
        m = std::abs(x0) + 2 * std::abs(v0 + w0 * x0) / (std::numbers::e * w0);
    } else {
        const double root = std::sqrt(zeta * zeta - 1);
        const double r1 = -w0 * (zeta - root);
        const double r2 = -w0 * (zeta + root);
        const double c2 = (v0 - r1 * x0) / (r2 - r1);
        sigma = -r1;
        m = std::abs(x0 - c2) + std::abs(c2);
    }
    if (!(m > resolution) || !(sigma > 0)) return 0;
    return std::log(m / resolution) / sigma;
}

}  // namespace

double Spring::stiffness() const {
    const double w0 = 2 * kPi / response;
    return w0 * w0;
}

double Spring::damping() const {
    return 4 * kPi * dampingFraction / response;
}

double easeOutProgress(double p) {
    if (!(p > 0)) return 0;
    if (p >= 1) return 1;
    // Bézier with control points (0, 0) and (0.58, 1): find the parameter whose x is p (x grows
    // monotonically), then read y there.
    constexpr double kX2 = 0.58;
    auto xAt = [](double u) { return 3 * (1 - u) * u * u * kX2 + u * u * u; };
    double lo = 0;
    double hi = 1;
    for (int i = 0; i < 40; ++i) {
        const double mid = (lo + hi) / 2;
        (xAt(mid) < p ? lo : hi) = mid;
    }
    const double u = (lo + hi) / 2;
    return 3 * (1 - u) * u * u + u * u * u;
}

AnimatedValue::AnimatedValue(double value, double resolution)
    : resolution_(resolution > 0 ? resolution : 0.001), target_(value) {}

double AnimatedValue::value(Instant now) const {
    if (!isMoving(now)) return target_;
    const double t = std::max(0.0, now - start_);
    if (kind_ == Kind::spring)
        return target_ + springMotion(spring_, from_ - target_, velocity_, t).x;
    return from_ + (target_ - from_) * easeOutProgress(t / duration_);
}

double AnimatedValue::velocity(Instant now) const {
    if (!isMoving(now)) return 0;
    const double t = std::max(0.0, now - start_);
    if (kind_ == Kind::spring) return springMotion(spring_, from_ - target_, velocity_, t).v;
    // The curve's slope, by a small symmetric difference.
    constexpr double kStep = 1e-4;
    const double p0 = easeOutProgress((t - kStep) / duration_);
    const double p1 = easeOutProgress((t + kStep) / duration_);
    return (target_ - from_) * (p1 - p0) / (2 * kStep);
}

void AnimatedValue::set(double target) {
    kind_ = Kind::still;
    target_ = target;
    velocity_ = 0;
}

void AnimatedValue::animate(double target, Instant now, Spring spring) {
    if (target == target_) return;
    if (!(spring.response > 0)) {
        set(target);
        return;
    }
    const double from = value(now);
    const double velocity = this->velocity(now);
    kind_ = Kind::spring;
    spring_ = spring;
    start_ = now;
    from_ = from;
    velocity_ = velocity;
    target_ = target;
    restsAt_ = now + springSettleTime(spring, from - target, velocity, resolution_);
    if (restsAt_ <= now) set(target);
}

void AnimatedValue::animate(double target, Instant now, EaseOut ease) {
    if (target == target_) return;
    if (!(ease.duration > 0)) {
        set(target);
        return;
    }
    const double from = value(now);
    kind_ = Kind::ease;
    duration_ = ease.duration;
    start_ = now;
    from_ = from;
    velocity_ = 0;
    target_ = target;
    restsAt_ = now + ease.duration;
}

bool AnimatedValue::isMoving(Instant now) const {
    return kind_ != Kind::still && now < restsAt_;
}

}  // namespace brimwick
