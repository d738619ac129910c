#include "platform/suspend_wake_monitor.h"

#include <time.h>

namespace brimwick {
namespace {

double secondsOf(clockid_t clock) {
    timespec now{};
    ::clock_gettime(clock, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

}  // namespace

double SuspendWakeMonitor::suspendedSeconds() {
    return secondsOf(CLOCK_BOOTTIME) - secondsOf(CLOCK_MONOTONIC);
}

SuspendWakeMonitor::SuspendWakeMonitor(MainQueue& queue, std::function<double()> suspended)
    : queue_(queue), suspended_(std::move(suspended)), lastSuspended_(suspended_()) {
    scheduleCheck();
}

SuspendWakeMonitor::~SuspendWakeMonitor() {
    check_.cancel();
}

Subscription SuspendWakeMonitor::subscribe(std::function<void()> onWake) {
    return woke_.connect(std::move(onWake));
}

void SuspendWakeMonitor::scheduleCheck() {
    // The timer runs on monotonic time, so after a resume it fires once the rest of its period
    // has passed awake; the suspended time has grown by the length of the sleep by then.
    check_ = queue_.after(checkPeriod, [this] {
        const double suspended = suspended_();
        const bool slept = suspended - lastSuspended_ >= minimumSleep;
        lastSuspended_ = suspended;
        scheduleCheck();
        if (slept) woke_.emit();
    });
}

}  // namespace brimwick
