#include "mascot/qt/mascot_sprites.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "mascot/qt/hex_renderer.h"

namespace brimwick {
namespace {

const QSizeF kSize(22.5, 20.5);  // the island's mascot on a 32-point top bar
const QPointF kPlace(3.3, 2.7);  // off the pixel grid, as in the island
constexpr BotState kEvery[] = {BotState::greeting, BotState::idle,      BotState::thinking,
                               BotState::working,  BotState::searching, BotState::approval,
                               BotState::question, BotState::finished,  BotState::error,
                               BotState::sleeping};

QImage paint(double ratio, const std::function<void(QPainter&)>& draw) {
    QImage image(int(30 * ratio), int(26 * ratio), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::black);  // the island under the mascot
    QPainter painter(&image);
    painter.translate(kPlace);
    draw(painter);
    return image;
}

struct Difference {
    int largest = 0;  // of any channel of any pixel, 0 … 255
    double mean = 0;
};

Difference compare(const QImage& a, const QImage& b) {
    Difference d;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            const int channel =
                std::max({std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                          std::abs(qBlue(p) - qBlue(q))});
            d.largest = std::max(d.largest, channel);
            d.mean += channel;
        }
    }
    d.mean /= a.width() * a.height();
    return d;
}

Difference spritesAgainstLive(MascotSprites& sprites, BotState state, double t, double since,
                              double ratio) {
    const QImage live = paint(
        ratio, [&](QPainter& p) { HexRenderer::drawFrame(p, kSize, state, state, t, since); });
    const QImage kept =
        paint(ratio, [&](QPainter& p) { sprites.drawFrame(p, kSize, state, state, t, since); });
    return compare(live, kept);
}

TEST(MascotSpritesTest, KeptFramesLookLikePaintedOnesAtEveryDensity) {
    MascotSprites sprites;
    // At t = 0 every motion sits on a kept position, so only 8-bit rounding differs. The same
    // sprites serve both densities: the second drops the first one's masks.
    for (double ratio : {1.0, 2.0}) {
        for (BotState state : kEvery) {
            const Difference d = spritesAgainstLive(sprites, state, 0, 5, ratio);
            EXPECT_LE(d.largest, 10) << rawValue(state) << " at " << ratio;
        }
    }
    EXPECT_EQ(sprites.liveFrames(), 0u);
    // Mid-turn in a later cycle of work, the turn and the pieces are rounded to the nearest kept
    // position (half a 60 Hz frame at most): a wrong fold of the turn would move the pieces
    // by a sixth of the outline and differ everywhere along it.
    EXPECT_LT(spritesAgainstLive(sprites, BotState::working, 1.2 * 7 + 0.2, 5, 2).mean, 2);
}

TEST(MascotSpritesTest, ChangesAndOneOffEffectsArePaintedLive) {
    MascotSprites sprites;
    spritesAgainstLive(sprites, BotState::working, 3, 0.2, 1);   // colour still sliding
    spritesAgainstLive(sprites, BotState::finished, 3, 0.5, 1);  // check and ring
    spritesAgainstLive(sprites, BotState::greeting, 3, 0.6, 1);  // outline drawing itself
    EXPECT_EQ(sprites.liveFrames(), 3u);
    EXPECT_EQ(sprites.maskCount(), 0u);
    paint(1, [&](QPainter& p) {  // not a plain scale and shift
        p.rotate(10);
        sprites.drawFrame(p, kSize, BotState::idle, BotState::idle, 3, 5);
    });
    EXPECT_EQ(sprites.liveFrames(), 4u);
}

}  // namespace
}  // namespace brimwick
