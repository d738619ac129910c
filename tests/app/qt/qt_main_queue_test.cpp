#include "app/qt/qt_main_queue.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <memory>
#include <thread>
#include <vector>

namespace brimwick {
namespace {

// Runs the event loop until `done` or a real-time limit; the queue's own tasks are the subject.
template <typename Done>
void spin(Done done, int limitMs = 5000) {
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    limit.start(limitMs);
    while (!done() && limit.isActive()) loop.processEvents(QEventLoop::WaitForMoreEvents, 50);
}

TEST(QtMainQueue, TasksFromOtherThreadsRunOnTheGuiThreadInOrder) {
    QObject context;
    QtMainQueue queue(&context);
    std::vector<int> ran;
    std::thread([&] {
        for (int i = 0; i < 100; ++i) {
            queue.post([&ran, i] {
                EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread());
                ran.push_back(i);
            });
        }
    }).join();
    spin([&] { return ran.size() == 100; });
    ASSERT_EQ(ran.size(), 100u);
    for (int i = 0; i < 100; ++i) EXPECT_EQ(ran[static_cast<std::size_t>(i)], i);
}

TEST(QtMainQueue, CancelledDelayedTasksAndTasksOfADestroyedContextNeverRun) {
    bool cancelledRan = false, keptRan = false, orphanRan = false;
    {
        QObject context;
        QtMainQueue queue(&context);
        queue.post([&] { orphanRan = true; });
    }
    QObject context;
    QtMainQueue queue(&context);
    auto handle = queue.after(0.01, [&] { cancelledRan = true; });
    queue.after(0.02, [&] { keptRan = true; });
    handle.cancel();
    spin([&] { return keptRan; });
    EXPECT_TRUE(keptRan);
    EXPECT_FALSE(cancelledRan);
    EXPECT_FALSE(orphanRan);
}

TEST(QtMainQueue, AClosedQueueDropsItsBacklogAfterTheTaskAtHand) {
    QObject context;
    QtMainQueue queue(&context);
    int ran = 0;
    auto alive = std::make_shared<int>();
    const std::weak_ptr<int> dropped = alive;
    queue.post([&] {
        ++ran;
        queue.close();  // as the signal thread may, while a task runs
    });
    for (int i = 0; i < 1000; ++i) queue.post([&ran, alive] { ++ran; });
    alive.reset();
    queue.after(0, [&] { ++ran; });
    spin([&] { return dropped.expired(); });
    queue.post([&] { ++ran; });
    QCoreApplication::processEvents();
    EXPECT_EQ(ran, 1);
    EXPECT_TRUE(dropped.expired());  // gone with the backlog, not kept until the queue goes
}

}  // namespace
}  // namespace brimwick
