#include "app/qt/qt_main_queue.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
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

TEST(QtMainQueue, CancelledDelayedTaskNeverRuns) {
    QObject context;
    QtMainQueue queue(&context);
    bool cancelledRan = false, keptRan = false;
    auto handle = queue.after(0.01, [&] { cancelledRan = true; });
    queue.after(0.02, [&] { keptRan = true; });
    handle.cancel();
    spin([&] { return keptRan; });
    EXPECT_TRUE(keptRan);
    EXPECT_FALSE(cancelledRan);
}

TEST(QtMainQueue, TasksOfADestroyedContextDoNotRun) {
    bool ran = false;
    {
        QObject context;
        QtMainQueue queue(&context);
        queue.post([&] { ran = true; });
    }
    QCoreApplication::processEvents();
    EXPECT_FALSE(ran);
}

}  // namespace
}  // namespace brimwick
