// SuspendWakeMonitor: notices a resume from sleep as time the boot clock counted while the
// monotonic clock stood still, looked at on a main-queue timer. It needs no bus and no thread, so
// the headless and the desktop face share this one wake rule.
#pragma once

#include <functional>

#include "core/main_queue.h"
#include "core/signal.h"
#include "platform/wake_monitor.h"

namespace brimwick {

// Main thread only; wake-ups are delivered on it, at most checkPeriod of awake time after the
// resume. Construction starts the checks, destruction ends them.
class SuspendWakeMonitor final : public WakeMonitor {
  public:
    static constexpr double checkPeriod = 5.0;
    // Less than this between two checks is clock noise, not a sleep.
    static constexpr double minimumSleep = 1.0;

    // Seconds spent suspended since boot: CLOCK_BOOTTIME minus CLOCK_MONOTONIC.
    static double suspendedSeconds();

    // `queue` must outlive the monitor; `suspended` stands in for suspendedSeconds() in tests.
    explicit SuspendWakeMonitor(MainQueue& queue,
                                std::function<double()> suspended = suspendedSeconds);
    ~SuspendWakeMonitor() override;
    SuspendWakeMonitor(const SuspendWakeMonitor&) = delete;
    SuspendWakeMonitor& operator=(const SuspendWakeMonitor&) = delete;

    [[nodiscard]] Subscription subscribe(std::function<void()> onWake) override;

  private:
    void scheduleCheck();

    MainQueue& queue_;
    std::function<double()> suspended_;
    double lastSuspended_;
    TaskHandle check_;
    Signal<> woke_;
};

}  // namespace brimwick
