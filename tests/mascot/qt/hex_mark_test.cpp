#include "mascot/qt/hex_mark.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPixmap>
#include <QScreen>

#include "mascot/mascot_palette.h"
#include "support/manual_main_queue.h"

namespace brimwick {
namespace {

AgentSession sessionIn(BotState state, Instant changedAt) {
    AgentSession session;
    session.id = "s1";
    session.state = session.previousState = state;
    session.stateChangedAt = changedAt;
    return session;
}

TEST(HexMarkTest, CalmStatesRedrawAtMostThirtyTimesASecond) {
    testing::ManualMainQueue clock;
    HexMark mark(clock);
    const double display = 1.0 / mark.screen()->refreshRate();
    for (BotState state : kAllBotStates) {
        mark.setSession(sessionIn(state, clock.now()));
        const bool calm = state == BotState::idle || state == BotState::sleeping;
        EXPECT_DOUBLE_EQ(mark.frameInterval(), calm ? std::max(display, 1.0 / 30) : display)
            << rawValue(state);
    }
}

TEST(HexMarkTest, FramesRunOnlyWhileShown) {
    testing::ManualMainQueue clock;
    HexMark mark(clock);
    mark.setSession(sessionIn(BotState::working, clock.now()));
    EXPECT_FALSE(mark.isAnimating());
    mark.show();
    EXPECT_TRUE(mark.isAnimating());
    mark.hide();
    EXPECT_FALSE(mark.isAnimating());
}

TEST(HexMarkTest, PaintsTheSessionAtTheClocksInstant) {
    testing::ManualMainQueue clock;
    HexMark mark(clock);
    mark.resize(64, 64);
    mark.setSession(sessionIn(BotState::error, clock.now()));
    const QImage image = mark.grab().toImage();
    ASSERT_FALSE(image.isNull());
    const QColor centre = image.pixelColor(image.width() / 2 + 4, image.height() / 2);
    EXPECT_GT(centre.alphaF(), 0.9);
    EXPECT_NEAR(centre.redF(), paletteColor(BotState::error).red, 0.03);
    EXPECT_NEAR(centre.greenF(), paletteColor(BotState::error).green, 0.03);
}

}  // namespace
}  // namespace brimwick
