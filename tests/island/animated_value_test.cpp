// Springs against their equation x'' = −k·x − c·x', integrated step by step with k and c taken
// from the response and the damping fraction; rest exactly on the target; the ease-out curve.
#include "island/animated_value.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <utility>

namespace brimwick {
namespace {

constexpr double kPi = std::numbers::pi;

// Position and velocity `duration` seconds after (x, v), by classic Runge–Kutta.
std::pair<double, double> integrate(const Spring& spring, double x, double v, double duration) {
    const double k = std::pow(2 * kPi / spring.response, 2);
    const double c = 4 * kPi * spring.dampingFraction / spring.response;
    auto f = [&](double px, double pv) { return std::pair{pv, -k * px - c * pv}; };
    const int steps = 20000;
    const double dt = duration / steps;
    for (int i = 0; i < steps; ++i) {
        const auto [k1x, k1v] = f(x, v);
        const auto [k2x, k2v] = f(x + k1x * dt / 2, v + k1v * dt / 2);
        const auto [k3x, k3v] = f(x + k2x * dt / 2, v + k2v * dt / 2);
        const auto [k4x, k4v] = f(x + k3x * dt, v + k3v * dt);
        x += dt / 6 * (k1x + 2 * k2x + 2 * k3x + k4x);
        v += dt / 6 * (k1v + 2 * k2v + 2 * k3v + k4v);
    }
    return {x, v};
}

TEST(SpringTest, FollowsItsEquationFromRestAndWhenRetargetedMidFlight) {
    EXPECT_NEAR((Spring{0.42, 0.78}.stiffness()), std::pow(2 * kPi / 0.42, 2), 1e-9);
    EXPECT_NEAR((Spring{0.42, 0.78}.damping()), 4 * kPi * 0.78 / 0.42, 1e-9);
    // Underdamped (overshooting), critically damped and overdamped.
    for (const Spring spring :
         {Spring{0.42, 0.78}, Spring{0.22, 0.6}, Spring{0.5, 1}, Spring{0.5, 1.6}}) {
        SCOPED_TRACE(::testing::Message() << spring.response << " / " << spring.dampingFraction);
        AnimatedValue value(0, 0.001);
        value.animate(100, 10, spring);
        for (double t : {0.0, 0.05, 0.1, 0.3}) {
            EXPECT_NEAR(value.value(10 + t), 100 + integrate(spring, -100, 0, t).first, 1e-6) << t;
        }
        // Retargeting keeps the position and the velocity, so the motion never jumps.
        const double x = value.value(10.1), v = value.velocity(10.1);
        value.animate(-20, 10.1, spring);
        EXPECT_NEAR(value.value(10.1), x, 1e-9);
        EXPECT_NEAR(value.velocity(10.1), v, 1e-9);
        for (double t : {0.05, 0.4}) {
            const auto [ex, ev] = integrate(spring, x + 20, v, t);
            EXPECT_NEAR(value.value(10.1 + t), ex - 20, 1e-6) << t;
            EXPECT_NEAR(value.velocity(10.1 + t), ev, 1e-5) << t;
        }
    }
}

TEST(AnimatedValueTest, RestsExactlyOnTheTargetAndEasesOut) {
    AnimatedValue value(0, 0.01);
    value.animate(240, 5, Spring{0.42, 0.78});
    EXPECT_TRUE(value.isMoving(5.2));
    const Instant rest = value.restsAt();
    EXPECT_TRUE(rest > 5.3 && rest < 7) << rest;
    // From then on no tick is needed and the value is the target exactly; just before, the
    // spring is already within its resolution of it.
    EXPECT_FALSE(value.isMoving(rest));
    EXPECT_EQ(value.value(rest), 240);
    EXPECT_EQ(value.velocity(rest + 3), 0);
    EXPECT_NEAR(value.value(rest - 0.001), 240, 0.01);
    // The same target again keeps the motion under way; set() jumps and stops it.
    value.animate(1, 20, Spring{0.3, 0.8});
    const Instant moving = value.restsAt();
    value.animate(1, 20.1, Spring{0.3, 0.8});
    EXPECT_EQ(value.restsAt(), moving);
    value.set(0.5);
    EXPECT_FALSE(value.isMoving(20.1));
    EXPECT_EQ(value.value(20.1), 0.5);

    for (double p : {0.0, -1.0, std::nan("")}) EXPECT_EQ(easeOutProgress(p), 0) << p;
    EXPECT_EQ(easeOutProgress(1), 1);
    EXPECT_GT(easeOutProgress(0.25), 0.25);  // ahead of linear: fast first
    for (double p = 0.01; p <= 1; p += 0.01)
        EXPECT_GE(easeOutProgress(p), easeOutProgress(p - 0.01));
    value.animate(1, 22, EaseOut{0.7});
    EXPECT_TRUE(value.isMoving(22.69));
    EXPECT_FALSE(value.isMoving(22.7));
    EXPECT_EQ(value.value(22.7), 1);
    EXPECT_NEAR(value.value(22.35), 0.5 + 0.5 * easeOutProgress(0.5), 1e-12);
}

}  // namespace
}  // namespace brimwick
