// The mascot as a standalone picture, for places outside the island that show a state (a
// desktop notification's icon).
#pragma once

#include <QImage>

#include "sessions/bot_state.h"

namespace brimwick {

// The mascot at rest in `state` on a dark rounded badge (the island's black, so its colours
// read as they do there), `pixels` square. Pure drawing; GUI thread.
QImage mascotIcon(BotState state, int pixels);

}  // namespace brimwick
