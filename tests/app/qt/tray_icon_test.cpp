// The tray icon and the application icon, drawn offscreen.
#include "app/qt/tray_icon.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QPainter>
#include <QPalette>
#include <QSystemTrayIcon>
#include <cmath>
#include <numbers>

#include "app/qt/app_icon.h"
#include "app/qt/tray_icon_frame_painter.h"
#include "app/qt/tray_icon_sprites.h"
#include "mascot/mascot_motion.h"
#include "support/manual_main_queue.h"

namespace brimwick {
namespace {

class TrayIconTest : public ::testing::Test {
  protected:
    // Alpha at a point given in the icon's 18-point coordinates (drawn at twice that).
    double alphaAt(double x, double y) const {
        return icon.image().pixelColor(int(x * 2), int(y * 2)).alphaF();
    }
    void step(double seconds) {
        clock.advance(seconds);
        icon.tick();
    }

    testing::ManualMainQueue clock;
    QSystemTrayIcon tray;
    TrayIcon icon{tray, clock, 2};
};

TEST_F(TrayIconTest, TheIntroThenOnlyLivelyStatesKeepTheTimerAndTheToolTipNamesTheState) {
    icon.render();
    icon.startTimer();
    EXPECT_TRUE(icon.isAnimating());
    EXPECT_EQ(icon.image().width(), 36);
    EXPECT_EQ(icon.image().devicePixelRatio(), 2);
    step(0.5);
    EXPECT_TRUE(icon.isAnimating());
    step(0.125);
    EXPECT_FALSE(icon.isAnimating());
    EXPECT_EQ(tray.toolTip(), "Brimwick");

    icon.show(BotState::finished);
    const Instant changed = icon.changedAt();
    EXPECT_TRUE(icon.isAnimating());
    clock.advance(0.25);
    icon.show(BotState::finished);  // the same state again does not restart it
    EXPECT_EQ(icon.changedAt(), changed);
    step(0.25);
    EXPECT_FALSE(icon.isAnimating());  // the check finished on its first schedule

    icon.show(BotState::thinking);
    EXPECT_EQ(tray.toolTip(), "Brimwick: Thinking");
    step(1.0 / 30);
    EXPECT_TRUE(icon.isAnimating());
    icon.show(BotState::idle);
    EXPECT_TRUE(icon.isAnimating());  // the running timer is left to notice
    step(1.0 / 30);
    EXPECT_FALSE(icon.isAnimating());
    EXPECT_EQ(tray.toolTip(), "Brimwick: Idle");
    // The idle picture: the whole outline and the dot.
    EXPECT_GT(alphaAt(9 + 7.4 * 0.866, 9), 0.9);
    EXPECT_GT(alphaAt(9 - 7.4 * 0.866, 9), 0.9);
    EXPECT_GT(alphaAt(9, 9), 0.9);
    icon.show(std::nullopt);
    EXPECT_EQ(icon.state(), std::nullopt);
    EXPECT_EQ(tray.toolTip(), "Brimwick");
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

TEST_F(TrayIconTest, FewerFramesForSlowerMotionAndOnlyPicturesThatChanged) {
    step(1);
    icon.show(BotState::finished);
    EXPECT_NEAR(icon.frameInterval(), 1.0 / 30, 0.001);  // the check draws itself
    icon.show(BotState::working);
    EXPECT_NEAR(icon.frameInterval(), 1.0 / 30, 0.001);  // the running timer is left to notice
    step(1.0 / 30);
    EXPECT_NEAR(icon.frameInterval(), 1.0 / 15, 0.001);
    // Approval pulses while sin(5t) > 0 and rests for the other half: no pictures then.
    icon.show(BotState::approval);
    step(1.0 / 15);
    EXPECT_NEAR(icon.frameInterval(), 1.0 / 10, 0.001);
    const double phase = std::fmod(5 * (clock.now() - kAnimationEpoch), 2 * std::numbers::pi);
    step(std::fmod(std::numbers::pi + 0.2 - phase + 4 * std::numbers::pi, 2 * std::numbers::pi) /
         5);
    const int sent = icon.imagesSent();
    for (int i = 0; i < 5; ++i) step(1.0 / 10);
    EXPECT_EQ(icon.imagesSent(), sent);
    step(0.25);  // into the next pulse
    EXPECT_EQ(icon.imagesSent(), sent + 1);
}

TEST(TrayIconSpritesTest, KeptPicturesLookLikePaintedOnesForEveryRatioAndInk) {
    // t = 0 puts every motion on a kept position. One sprites object for both ratios and both
    // inks: a ratio change drops the masks, the ink is applied when composing.
    TrayIconSprites sprites;
    for (double ratio : {1.0, 2.0}) {
        for (const QColor& ink : {QColor(Qt::black), QColor(230, 230, 230)}) {
            for (int s = -1; s <= static_cast<int>(BotState::sleeping); ++s) {
                const auto state = s < 0 ? std::nullopt : std::optional(static_cast<BotState>(s));
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
                EXPECT_LE(largest, 2) << s << " at " << ratio;
            }
        }
    }
}

TEST(TrayIconSpritesTest, InkIsLightOnDarkPanelsDarkOnLightOnes) {
    QPalette palette;
    const auto ink = [&](QColor window, QColor text) {
        palette.setColor(QPalette::Window, window);
        palette.setColor(QPalette::WindowText, text);
        return trayInk(palette);
    };
    EXPECT_EQ(ink(QColor(30, 30, 30), QColor(220, 220, 220)), QColor(220, 220, 220));
    EXPECT_EQ(ink(QColor(240, 240, 240), QColor(20, 20, 20)), QColor(20, 20, 20));
    EXPECT_EQ(ink(QColor(30, 30, 30), QColor(40, 40, 40)), QColor(Qt::white));  // it would vanish
}

TEST(AppIconTest, CommittedSvgIsTheCurrentDrawingOfADarkCellWithALightInsideAndADarkLetter) {
    QFile file(QStringLiteral(BRIMWICK_SOURCE_DIR "/data/icons/brimwick.svg"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    // Regenerate with: brimwick_icons --svg data/icons/brimwick.svg
    EXPECT_EQ(QString::fromUtf8(file.readAll()), appIconSvg());
    const QImage icon = appIconImage(100);
    ASSERT_EQ(icon.size(), QSize(100, 100));
    EXPECT_EQ(qAlpha(icon.pixel(2, 2)), 0);  // outside the hexagon
    EXPECT_EQ(qAlpha(icon.pixel(97, 97)), 0);
    EXPECT_LT(qGray(icon.pixel(50, 8)), 80);    // the cell ring, near the top corner
    EXPECT_GT(qGray(icon.pixel(30, 60)), 200);  // inside, left of the stem
    EXPECT_LT(qGray(icon.pixel(50, 60)), 80);   // the stem of the letter
    EXPECT_EQ(qAlpha(icon.pixel(50, 60)), 255);
    EXPECT_TRUE(appIconImage(0).isNull());
}

}  // namespace
}  // namespace brimwick
