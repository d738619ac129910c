// WakeMonitor: tells the main thread that the machine has just resumed from sleep.
#pragma once

#include <functional>

#include "core/signal.h"

namespace brimwick {

// Implementations deliver `onWake` on the main thread, once per resume. A machine or session
// without a sleep notification source simply never calls it.
class WakeMonitor {
  public:
    virtual ~WakeMonitor() = default;

    // Calls `onWake` after every resume until the subscription ends. Main-thread only.
    [[nodiscard]] virtual Subscription subscribe(std::function<void()> onWake) = 0;
};

}  // namespace brimwick
