// The wake rule in virtual time, with the suspended-time counter in the test's hands.
#include "platform/suspend_wake_monitor.h"

#include <gtest/gtest.h>

#include <memory>

#include "support/manual_main_queue.h"

namespace brimwick {
namespace {

TEST(SuspendWakeMonitorTest, OneWakePerSleepOfAtLeastASecondSeenAtTheNextCheck) {
    testing::ManualMainQueue queue;
    double suspended = 100.0;
    auto monitor = std::make_unique<SuspendWakeMonitor>(queue, [&] { return suspended; });
    int wakes = 0;
    Subscription subscription = monitor->subscribe([&] { ++wakes; });

    queue.advance(60);  // awake: the counter stands still
    EXPECT_EQ(wakes, 0);
    suspended += 0.5;  // too short to be a sleep
    queue.advance(SuspendWakeMonitor::checkPeriod);
    EXPECT_EQ(wakes, 0);
    suspended += 3600;
    queue.advance(SuspendWakeMonitor::checkPeriod - 0.1);
    EXPECT_EQ(wakes, 0);
    queue.advance(0.1);
    EXPECT_EQ(wakes, 1);
    queue.advance(60);
    EXPECT_EQ(wakes, 1);

    suspended += 1.0;
    subscription.reset();
    queue.advance(SuspendWakeMonitor::checkPeriod);
    EXPECT_EQ(wakes, 1);

    monitor.reset();  // its timer goes with it
    suspended += 60;
    queue.advance(60);
    EXPECT_EQ(wakes, 1);
}

}  // namespace
}  // namespace brimwick
