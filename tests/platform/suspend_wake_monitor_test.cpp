#include "platform/suspend_wake_monitor.h"

#include <gtest/gtest.h>

#include "support/manual_main_queue.h"

namespace brimwick {

TEST(SuspendWakeMonitorTest, OneWakePerSleepOfAtLeastASecondSeenAtTheNextCheck) {
    testing::ManualMainQueue queue;
    double suspended = 100.0;  // the suspended-time counter, in the test's hands
    auto monitor = std::make_unique<SuspendWakeMonitor>(queue, [&] { return suspended; });
    int wakes = 0;
    Subscription subscription = monitor->subscribe([&] { ++wakes; });
    const auto after = [&](double sleep, double seconds, int expected) {
        suspended += sleep;
        queue.advance(seconds);
        EXPECT_EQ(wakes, expected) << sleep << " s asleep, " << seconds << " s later";
    };
    after(0, 60, 0);                                 // awake: the counter stands still
    after(0.5, SuspendWakeMonitor::checkPeriod, 0);  // too short to be a sleep
    after(3600, SuspendWakeMonitor::checkPeriod - 0.1, 0);
    after(0, 0.1, 1);
    after(0, 60, 1);
    subscription.reset();
    after(1.0, SuspendWakeMonitor::checkPeriod, 1);
    monitor.reset();  // its timer goes with it
    after(60, 60, 1);
}

}  // namespace brimwick
