#include <gtest/gtest.h>

#include <QPainter>

#include "app/qt/tray_icon_sprites.h"

namespace brimwick {
namespace {

// Pixels that stand out from `background` once the icon is laid over it.
int visiblePixels(const QImage& icon, const QColor& background) {
    QImage panel(icon.size(), QImage::Format_RGB32);
    panel.fill(background);
    QPainter(&panel).drawImage(0, 0, icon);
    int visible = 0;
    for (int y = 0; y < panel.height(); ++y) {
        for (int x = 0; x < panel.width(); ++x) {
            visible += std::abs(qGray(panel.pixel(x, y)) - qGray(background.rgb())) > 100;
        }
    }
    return visible;
}

TEST(TrayIconContrast, EveryStateReadsOnLightAndDarkPanelsInEitherInk) {
    const Instant launched = 100;
    for (const QColor& ink : {QColor(Qt::black), QColor(Qt::white)}) {
        for (std::optional<BotState> state :
             {std::optional<BotState>(), std::optional(BotState::idle),
              std::optional(BotState::thinking), std::optional(BotState::approval),
              std::optional(BotState::error)}) {
            TrayIconSprites sprites;
            const auto frame = trayIconFrameAt(state, launched + 5, launched + 4, launched, false);
            for (double ratio : {1.0, 2.0}) {
                const QImage icon = withRim(sprites.image(frame, 22, ratio, ink), ink);
                // The panel the ink was chosen for, and the one the palette got wrong.
                const int matched =
                    visiblePixels(icon, ink.lightness() < 128 ? Qt::white : Qt::black);
                const int mismatched = visiblePixels(
                    icon, ink.lightness() < 128 ? QColor(40, 40, 40) : QColor(235, 235, 235));
                EXPECT_GT(matched, 15) << ink.name().toStdString() << " at " << ratio;
                EXPECT_GT(mismatched, matched / 2) << ink.name().toStdString() << " at " << ratio;
            }
        }
    }
}

}  // namespace
}  // namespace brimwick
