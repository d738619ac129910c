// TrayIconSprites: the tray icon's pictures composed from masks of its parts kept between
// frames (MaskCache), so an icon that animates all day is not drawn from paths every frame.
#pragma once

#include <QColor>
#include <QImage>
#include <cstddef>
#include <cstdint>

#include "app/tray_icon_frame.h"
#include "mascot/qt/mask_cache.h"

namespace brimwick {

// Main (GUI) thread. Each moving part is kept for a few positions along its own cycle, about
// one per 1/30 s at its fastest, and a frame shows the nearest; the masks are for one icon size
// and device pixel ratio (a change of either drops them) and hold only coverage, so the ink
// colour (the desktop's palette) is applied when composing. The launch intro, the check
// drawing itself and the error shake run once and are drawn as they are.
class TrayIconSprites {
  public:
    // Every state kept takes about 180 KiB at a device pixel ratio of 2, 90 KiB at 1.
    static constexpr std::size_t kBudgetBytes = std::size_t{512} << 10;

    explicit TrayIconSprites(std::size_t budgetBytes = kBudgetBytes) : cache_(budgetBytes) {}

    // The picture of `frame`, `side` points square at `ratio` device pixels per point, in `ink`.
    QImage image(const TrayIconFrame& frame, double side, double ratio, const QColor& ink);

    // Whether `frame` comes from masks.
    static bool repeats(const TrayIconFrame& frame);

    std::size_t bytes() const { return cache_.bytes(); }
    std::uint64_t masksDrawn() const { return cache_.made(); }

  private:
    MaskCache cache_;
    double side_ = 0;
    double ratio_ = 0;
};

// `image` drawn in `ink` with a rim of the opposite shade under it, a device pixel per point
// wide. The ink follows the application's palette and tray hosts tell nothing about the panel's
// own colour: with the rim the icon reads on a light panel and on a dark one alike.
QImage withRim(QImage image, const QColor& ink);

}  // namespace brimwick
