#include "island/animated_value.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace brimwick {
namespace {

constexpr double kPi = std::numbers::pi;

// An underdamped spring released at rest from displacement x0, in closed form.
double releasedFromRest(const Spring& spring, double x0, double t) {
    const double w0 = 2 * kPi / spring.response;
    const double zeta = spring.dampingFraction;
    const double wd = w0 * std::sqrt(1 - zeta * zeta);
    return std::exp(-zeta * w0 * t) * x0 * (std::cos(wd * t) + zeta * w0 / wd * std::sin(wd * t));
}

// The spring's equation x'' = −k·x − c·x' integrated step by step (classic Runge–Kutta), as an
// independent check of retargeting with a velocity.
struct State {
    double x;
    double v;
};
State integrate(const Spring& spring, State s, double duration) {
    const double k = spring.stiffness();
    const double c = spring.damping();
    const int steps = 20000;
    const double dt = duration / steps;
    auto accel = [&](const State& q) { return -k * q.x - c * q.v; };
    for (int i = 0; i < steps; ++i) {
        const State k1{s.v, accel(s)};
        const State s2{s.x + k1.x * dt / 2, s.v + k1.v * dt / 2};
        const State k2{s2.v, accel(s2)};
        const State s3{s.x + k2.x * dt / 2, s.v + k2.v * dt / 2};
        const State k3{s3.v, accel(s3)};
        const State s4{s.x + k3.x * dt, s.v + k3.v * dt};
        const State k4{s4.v, accel(s4)};
        s.x += dt / 6 * (k1.x + 2 * k2.x + 2 * k3.x + k4.x);
        s.v += dt / 6 * (k1.v + 2 * k2.v + 2 * k3.v + k4.v);
    }
    return s;
}

TEST(SpringTest, StiffnessAndDampingComeFromResponseAndFraction) {
    const Spring spring{0.42, 0.78};
    EXPECT_NEAR(spring.stiffness(), std::pow(2 * kPi / 0.42, 2), 1e-9);
    EXPECT_NEAR(spring.damping(), 4 * kPi * 0.78 / 0.42, 1e-9);
}

TEST(SpringTest, FollowsTheClosedFormSpringFromRest) {
    for (const Spring spring : {Spring{0.42, 0.78}, Spring{0.45, 0.75}, Spring{0.22, 0.6}}) {
        AnimatedValue value(0, 0.01);
        value.animate(100, 10.0, spring);
        for (double t : {0.0, 0.05, 0.1, 0.2, 0.3, 0.5}) {
            EXPECT_NEAR(value.value(10.0 + t), 100 + releasedFromRest(spring, -100, t), 1e-9)
                << spring.response << " at " << t;
        }
    }
}

TEST(SpringTest, OvershootsWhenUnderdamped) {
    AnimatedValue value(0, 0.01);
    value.animate(1, 0, Spring{0.25, 0.6});
    double peak = 0;
    for (double t = 0; t < 1; t += 0.005) peak = std::max(peak, value.value(t));
    EXPECT_GT(peak, 1.05);
}

TEST(SpringTest, RetargetingMidFlightKeepsPositionAndVelocity) {
    const Spring spring{0.42, 0.72};
    AnimatedValue value(0, 0.001);
    value.animate(50, 0, spring);
    const double before = value.value(0.1);
    const double speed = value.velocity(0.1);
    value.animate(-20, 0.1, spring);
    EXPECT_NEAR(value.value(0.1), before, 1e-9);
    EXPECT_NEAR(value.velocity(0.1), speed, 1e-9);
    for (double t : {0.05, 0.15, 0.4}) {
        const State expected = integrate(spring, {before + 20, speed}, t);
        EXPECT_NEAR(value.value(0.1 + t), expected.x - 20, 1e-6) << t;
        EXPECT_NEAR(value.velocity(0.1 + t), expected.v, 1e-5) << t;
    }
}

TEST(SpringTest, CriticalAndOverdampedSpringsMatchTheEquation) {
    for (const Spring spring : {Spring{0.5, 1.0}, Spring{0.5, 1.6}}) {
        AnimatedValue value(0, 0.001);
        value.animate(10, 0, spring);
        for (double t : {0.1, 0.3}) {
            EXPECT_NEAR(value.value(t), 10 + integrate(spring, {-10, 0}, t).x, 1e-6)
                << spring.dampingFraction;
        }
    }
}

TEST(SpringTest, ComesToRestExactlyOnTheTargetAndStaysThere) {
    AnimatedValue value(0, 0.01);
    value.animate(240, 5, Spring{0.42, 0.78});
    EXPECT_TRUE(value.isMoving(5.2));
    const Instant rest = value.restsAt();
    EXPECT_GT(rest, 5.3);
    EXPECT_LT(rest, 7.0);
    // From the moment it rests the motion is over: no tick needed, value exactly the target.
    EXPECT_FALSE(value.isMoving(rest));
    EXPECT_EQ(value.value(rest), 240);
    EXPECT_EQ(value.velocity(rest + 3), 0);
    // Just before, the spring is already within its resolution of the target.
    EXPECT_NEAR(value.value(rest - 0.001), 240, 0.01);
}

TEST(SpringTest, SameTargetAgainKeepsTheMotionAndJumpsStopIt) {
    AnimatedValue value(0, 0.001);
    value.animate(1, 0, Spring{0.3, 0.8});
    const Instant rest = value.restsAt();
    value.animate(1, 0.1, Spring{0.3, 0.8});
    EXPECT_EQ(value.restsAt(), rest);
    value.set(0.5);
    EXPECT_FALSE(value.isMoving(0.1));
    EXPECT_EQ(value.value(0.1), 0.5);
}

TEST(EaseOutTest, StartsFastAndEndsOnTheTarget) {
    EXPECT_EQ(easeOutProgress(0), 0);
    EXPECT_EQ(easeOutProgress(1), 1);
    EXPECT_EQ(easeOutProgress(-1), 0);
    EXPECT_EQ(easeOutProgress(std::nan("")), 0);
    EXPECT_GT(easeOutProgress(0.25), 0.25);  // ahead of linear: fast first
    double last = 0;
    for (double p = 0.01; p <= 1; p += 0.01) {
        EXPECT_GE(easeOutProgress(p), last);
        last = easeOutProgress(p);
    }
    AnimatedValue value(0, 0.001);
    value.animate(1, 2, EaseOut{0.7});
    EXPECT_TRUE(value.isMoving(2.69));
    EXPECT_FALSE(value.isMoving(2.7));
    EXPECT_EQ(value.value(2.7), 1);
    EXPECT_NEAR(value.value(2.35), easeOutProgress(0.5), 1e-12);
}

}  // namespace
}  // namespace brimwick
