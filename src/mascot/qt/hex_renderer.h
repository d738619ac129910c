// HexRenderer: draws one frame of the hexagon mascot for one session at one instant, and owns
// the rounded-hexagon outline that the menu-bar icon and the island's shapes reuse.
#pragma once

#include <QColor>
#include <QPainterPath>
#include <QSizeF>

#include "core/clock.h"
#include "mascot/mascot_motion.h"
#include "mascot/mascot_palette.h"
#include "sessions/agent_session.h"

class QPainter;

namespace brimwick {

// Every function is pure: a frame depends only on its arguments. Main (GUI) thread, like all
// painting; nothing is cached between frames except the shape of the "?" glyph (MascotSprites
// keeps whole frames).
class HexRenderer {
  public:
    HexRenderer() = delete;

    // The parts of a frame, in the order they are drawn: the faint track, the glow and the
    // stroke of the highlight, the approval ripple, the centre symbol in the tint, the dark
    // marks on it (approval's "!", question's "?") and the finished ring.
    enum Part : unsigned {
        track = 1,
        glow = 2,
        stroke = 4,
        ripple = 8,
        symbol = 16,
        mark = 32,
        ring = 64,
        allParts = 127,
    };

    // The rounded hexagon standing on a corner, centred on the origin (y downward): corners at
    // distance `radius`, each rounded by a tangent arc of radius `corner`. It starts in the middle
    // of the edge from the top corner to the upper-right one and runs clockwise on screen, so a
    // trim fraction f is the point f of the way round from there. Empty for a radius <= 0.
    static QPainterPath hexPath(double radius, double corner);

    static Pose makePose(BotState state, double t, double since) {
        return brimwick::makePose(state, t, since);
    }

    static QColor color(const Rgb& rgb, double opacity = 1);

    // Draws the session's mascot at `now` into the rectangle (0, 0, size) of the painter's
    // current coordinates. The painter's state is restored afterwards.
    static void draw(QPainter& painter, const QSizeF& size, const AgentSession& session,
                     Instant now);

    // The same with the animation inputs given directly: `t` is the phase in seconds and
    // `since` the seconds since the state began (negative counts as 0).
    static void drawFrame(QPainter& painter, const QSizeF& size, BotState state,
                          BotState previousState, double t, double since);

    // The `parts` of one frame whose motion is given: the tint, the pose (its opacity applies to
    // every part drawn, as in drawFrame), the highlight and the centre's motion.
    static void drawParts(QPainter& painter, const QSizeF& size, BotState state, const QColor& tint,
                          const Pose& pose, const Highlight& highlight, const CenterMotion& center,
                          unsigned parts = allParts);

    // The symbol in the middle of the hexagon, drawn around the painter's origin with hexagon
    // radius `R` and body line width `lw`.
    static void drawCenter(QPainter& painter, BotState state, const QColor& tint, double R,
                           double lw, double t, double since);
    static void drawCenter(QPainter& painter, BotState state, const QColor& tint, double R,
                           double lw, const CenterMotion& motion, unsigned parts = allParts);

    // The hexagon radius and line width for a drawing area.
    static double radius(const QSizeF& size);
    static double lineWidth(double radius);
};

}  // namespace brimwick
