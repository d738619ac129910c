#include "app/qt/tray_icon.h"

#include <gtest/gtest.h>

#include <QPainter>
#include <QPalette>
#include <QSystemTrayIcon>
#include <algorithm>
#include <cmath>
#include <numbers>

#include "app/qt/tray_icon_frame_painter.h"
#include "app/qt/tray_icon_sprites.h"
#include "mascot/mascot_motion.h"
#include "support/manual_main_queue.h"

namespace brimwick {
namespace {

constexpr double kRatio = 2;

class TrayIconTest : public ::testing::Test {
  protected:
    // Alpha at a point given in the icon's 18-point coordinates.
    double alphaAt(double x, double y) const {
        return icon.image().pixelColor(int(x * kRatio), int(y * kRatio)).alphaF();
    }

    // Past the launch intro, with nothing shown yet.
    void skipIntro() {
        clock.advance(1);
        icon.tick();
    }

    testing::ManualMainQueue clock;
    QSystemTrayIcon tray;
    TrayIcon icon{tray, clock, kRatio};
};

TEST_F(TrayIconTest, IntroDrawsTheOutlineThenGrowsTheDotThenStops) {
    icon.render();
    icon.startTimer();
    EXPECT_TRUE(icon.isAnimating());
    EXPECT_EQ(icon.image().width(), 36);
    EXPECT_EQ(icon.image().devicePixelRatio(), kRatio);
    const double rightEdge = 9 + 7.4 * 0.866;
    EXPECT_LT(alphaAt(rightEdge, 9), 0.05);  // nothing drawn yet
    clock.advance(0.3);
    icon.tick();
    EXPECT_GT(alphaAt(rightEdge, 9), 0.9);  // the outline is on its way round
    EXPECT_LT(alphaAt(9, 9), 0.05);         // the dot comes in the last 40 %
    clock.advance(0.2);
    icon.tick();
    EXPECT_GT(alphaAt(9, 9), 0.9);
    EXPECT_LT(alphaAt(9 + 1.7, 9), 0.3);  // still smaller than its final 1.9
    EXPECT_TRUE(icon.isAnimating());
    clock.advance(0.125);
    icon.tick();
    EXPECT_FALSE(icon.isAnimating());
    EXPECT_GT(alphaAt(9 + 1.6, 9), 0.6);
    EXPECT_EQ(tray.toolTip(), "Brimwick");
}

TEST_F(TrayIconTest, ShowingTheSameStateAgainDoesNotRestartIt) {
    skipIntro();
    icon.show(BotState::finished);
    const Instant changed = icon.changedAt();
    EXPECT_TRUE(icon.isAnimating());
    clock.advance(0.25);
    icon.show(BotState::finished);
    EXPECT_EQ(icon.changedAt(), changed);
    clock.advance(0.25);
    icon.tick();
    EXPECT_FALSE(icon.isAnimating());  // the check finished on its first schedule
    icon.show(std::nullopt);
    icon.show(std::nullopt);
    EXPECT_EQ(icon.state(), std::nullopt);
    EXPECT_EQ(tray.toolTip(), "Brimwick");
}

TEST_F(TrayIconTest, ThinkingToIdleStopsTheTimerAfterOneTick) {
    skipIntro();
    EXPECT_FALSE(icon.isAnimating());
    icon.show(BotState::thinking);
    EXPECT_TRUE(icon.isAnimating());
    EXPECT_EQ(tray.toolTip(), "Brimwick: Thinking");
    clock.advance(1.0 / 30);
    icon.tick();
    EXPECT_TRUE(icon.isAnimating());
    icon.show(BotState::idle);
    EXPECT_TRUE(icon.isAnimating());  // the running timer is left to notice
    clock.advance(1.0 / 30);
    icon.tick();
    EXPECT_FALSE(icon.isAnimating());
    EXPECT_EQ(tray.toolTip(), "Brimwick: Idle");
    // The idle picture: the whole outline and the dot, fully drawn.
    EXPECT_GT(alphaAt(9 + 7.4 * 0.866, 9), 0.9);
    EXPECT_GT(alphaAt(9 - 7.4 * 0.866, 9), 0.9);
    EXPECT_GT(alphaAt(9, 9), 0.9);
}

TEST_F(TrayIconTest, ReduceMotionDrawsTheStillFormAndNeverAnimates) {
    icon.setReduceMotion(true);
    icon.render();
    icon.startTimer();
    EXPECT_FALSE(icon.isAnimating());  // not even the intro

    icon.show(BotState::approval);
    EXPECT_FALSE(icon.isAnimating());
    EXPECT_NEAR(alphaAt(5, 9), 0.12, 0.01);  // the constant fill
    const QImage first = icon.image();
    clock.advance(0.1);  // sin(5t) would have moved the fill and the scale
    icon.render();
    EXPECT_EQ(icon.image(), first);

    icon.show(BotState::finished);
    EXPECT_GT(alphaAt(9 + 3.0 - 0.3, 9 - 2.0 + 0.3), 0.8);  // the check's far end, drawn at once
    icon.show(BotState::error);
    EXPECT_GT(alphaAt(9 + 2.2, 9), 0.8);  // the bar, unshaken
    EXPECT_GT(alphaAt(9 - 2.2, 9), 0.8);
    EXPECT_FALSE(icon.isAnimating());

    icon.setReduceMotion(false);
    icon.show(BotState::working);
    EXPECT_TRUE(icon.isAnimating());
    icon.setReduceMotion(true);
    EXPECT_FALSE(icon.isAnimating());
}

TEST_F(TrayIconTest, ErrorShakesThenSettles) {
    skipIntro();
    icon.show(BotState::error);
    EXPECT_TRUE(icon.isAnimating());
    clock.advance(0.5);
    icon.tick();
    EXPECT_TRUE(icon.isAnimating());
    clock.advance(0.125);
    icon.tick();
    EXPECT_FALSE(icon.isAnimating());
    EXPECT_EQ(tray.toolTip(), "Brimwick: Hit an error");
}

TEST_F(TrayIconTest, FewerFramesForSlowerMotionAndOnlyPicturesThatChanged) {
    skipIntro();
    icon.show(BotState::finished);
    EXPECT_NEAR(icon.frameInterval(), 1.0 / 30, 0.001);  // the check draws itself
    icon.show(BotState::working);
    EXPECT_NEAR(icon.frameInterval(), 1.0 / 30, 0.001);  // the running timer is left to notice
    clock.advance(1.0 / 30);
    icon.tick();
    EXPECT_NEAR(icon.frameInterval(), 1.0 / 15, 0.001);

    // Approval pulses while sin(5t) > 0 and rests for the other half: no pictures then.
    icon.show(BotState::approval);
    clock.advance(1.0 / 15);
    icon.tick();
    EXPECT_NEAR(icon.frameInterval(), 1.0 / 10, 0.001);
    const double phase = std::fmod(5 * (clock.now() - kAnimationEpoch), 2 * std::numbers::pi);
    clock.advance(
        (std::fmod(std::numbers::pi + 0.2 - phase + 4 * std::numbers::pi, 2 * std::numbers::pi)) /
        5);
    icon.tick();
    const int sent = icon.imagesSent();
    for (int i = 0; i < 5; ++i) {
        clock.advance(1.0 / 10);
        icon.tick();
    }
    EXPECT_EQ(icon.imagesSent(), sent);
    clock.advance(0.25);  // into the next pulse
    icon.tick();
    EXPECT_EQ(icon.imagesSent(), sent + 1);
}

TEST(TrayIconSpritesTest, KeptPicturesLookLikePaintedOnesForEveryRatioAndInk) {
    TrayIconSprites sprites;
    // t = 0 puts every motion on a kept position. One sprites object for both ratios and both
    // inks: a ratio change drops the masks, the ink is applied when composing.
    for (double ratio : {1.0, 2.0}) {
        for (const QColor& ink : {QColor(Qt::black), QColor(230, 230, 230)}) {
            for (std::optional<BotState> state : {std::optional<BotState>(),
                                                  {BotState::greeting},
                                                  {BotState::idle},
                                                  {BotState::thinking},
                                                  {BotState::working},
                                                  {BotState::searching},
                                                  {BotState::approval},
                                                  {BotState::question},
                                                  {BotState::finished},
                                                  {BotState::error},
                                                  {BotState::sleeping}}) {
                const TrayIconFrame frame{state, 5, 0, 1};
                QImage live(int(18 * ratio), int(18 * ratio), QImage::Format_ARGB32_Premultiplied);
                live.setDevicePixelRatio(ratio);
                live.fill(Qt::transparent);
                {
                    QPainter painter(&live);
                    drawMenuBarFrame(painter, QRectF(0, 0, 18, 18), frame, ink);
                }
                const QImage kept = sprites.image(frame, 18, ratio, ink);
                ASSERT_EQ(kept.size(), live.size());
                int largest = 0;
                for (int y = 0; y < live.height(); ++y) {
                    for (int x = 0; x < live.width(); ++x) {
                        const QRgb a = live.pixel(x, y), b = kept.pixel(x, y);
                        largest = std::max({largest, std::abs(qAlpha(a) - qAlpha(b)),
                                            std::abs(qRed(a) - qRed(b))});
                    }
                }
                EXPECT_LE(largest, 2) << (state ? rawValue(*state) : "none") << " at " << ratio;
            }
        }
    }
}

TEST(TrayInkTest, LightOnDarkPanelsDarkOnLightOnes) {
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(30, 30, 30));
    dark.setColor(QPalette::WindowText, QColor(220, 220, 220));
    EXPECT_EQ(trayInk(dark), QColor(220, 220, 220));
    QPalette light;
    light.setColor(QPalette::Window, QColor(240, 240, 240));
    light.setColor(QPalette::WindowText, QColor(20, 20, 20));
    EXPECT_EQ(trayInk(light), QColor(20, 20, 20));
    QPalette clash = dark;  // dark text on a dark panel would vanish
    clash.setColor(QPalette::WindowText, QColor(40, 40, 40));
    EXPECT_EQ(trayInk(clash), QColor(Qt::white));
}

}  // namespace
}  // namespace brimwick
