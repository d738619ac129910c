// MascotSprites: the island's mascot composed from masks of its parts kept between frames, so a
// state that animates all day costs a few small blends per frame instead of paths, a glow layer
// and a blur. Draws what HexRenderer::draw draws.
#pragma once

#include <QImage>
#include <QSizeF>
#include <cstddef>
#include <cstdint>

#include "core/clock.h"
#include "mascot/qt/mask_cache.h"
#include "sessions/agent_session.h"

class QPainter;

namespace brimwick {

// Main (GUI) thread. Every state's motion repeats, so each part is kept for a handful of
// positions along its own cycle: about one per 60 Hz display frame, the motion rounded to the
// nearest (half a frame at most). Masks are kept for one drawing size and device scale (a
// change of either, as on moving to another screen, drops them all) and for the fraction of a
// device pixel the mascot sits at, within a byte budget (least recently used go first).
//
// A frame is painted live instead when the painter is not a plain scale and shift at full
// opacity, or while the frame does not repeat: the colour sliding after a change, the greeting
// drawing itself, the finished check and ring.
class MascotSprites {
  public:
    // Every state kept at twice the island's tallest size takes 3.1 MiB (2.1 MiB on a 32-point
    // top bar at twice the density, 0.8 MiB at single density); working alone 2.1 MiB of it.
    static constexpr std::size_t kBudgetBytes = std::size_t{4} << 20;

    explicit MascotSprites(std::size_t budgetBytes = kBudgetBytes) : cache_(budgetBytes) {}

    // Draws the session's mascot at `now` into the rectangle (0, 0, size) of the painter's
    // current coordinates; the painter is left as it was.
    void draw(QPainter& painter, const QSizeF& size, const AgentSession& session, Instant now);
    void drawFrame(QPainter& painter, const QSizeF& size, BotState state, BotState previousState,
                   double t, double since);

    // Whether a frame of `state`, `since` seconds after it began, can come from masks.
    static bool repeats(BotState state, double since);

    // Memory taken by the kept masks, how many there are and how many were ever drawn.
    std::size_t bytes() const { return cache_.bytes(); }
    std::size_t maskCount() const { return cache_.count(); }
    std::uint64_t masksDrawn() const { return cache_.made(); }
    // Frames painted live rather than composed.
    std::uint64_t liveFrames() const { return liveFrames_; }

  private:
    MaskCache cache_;
    QSizeF size_;       // the drawing size the masks are for
    double scale_ = 0;  // and the device pixels per point
    QImage scratch_;
    std::uint64_t liveFrames_ = 0;
};

}  // namespace brimwick
