#include "app/qt/qt_main_queue.h"

#include <QMetaObject>
#include <QTimer>
#include <cmath>

namespace brimwick {

QtMainQueue::QtMainQueue(QObject* context) : context_(context), tasks_(std::make_shared<Tasks>()) {}

void QtMainQueue::post(Task task) {
    {
        std::lock_guard lock(tasks_->mutex);
        if (tasks_->closed) return;
        tasks_->queued.push_back(std::move(task));
        if (tasks_->scheduled) return;
        tasks_->scheduled = true;
    }
    QMetaObject::invokeMethod(
        context_, [tasks = tasks_] { run(tasks); }, Qt::QueuedConnection);
}

void QtMainQueue::run(const std::shared_ptr<Tasks>& tasks) {
    std::size_t count;
    {
        std::lock_guard lock(tasks->mutex);
        // Posts from here on schedule another turn, which also serves a nested event loop (a
        // modal dialog) opened by one of these tasks; taking one task at a time keeps the order.
        tasks->scheduled = false;
        count = tasks->queued.size();
    }
    // Only what was queued at the start, so the loop's own events are not starved by a flood.
    for (; count > 0; --count) {
        Task task;
        {
            std::lock_guard lock(tasks->mutex);
            if (tasks->closed || tasks->queued.empty()) break;
            task = std::move(tasks->queued.front());
            tasks->queued.pop_front();
        }
        task();
    }
    if (tasks->closed) {
        std::deque<Task> dropped;
        std::lock_guard lock(tasks->mutex);
        dropped.swap(tasks->queued);
    }
}

void QtMainQueue::close() {
    tasks_->closed = true;
    // One more turn drops what is queued on the GUI thread, where the tasks' captures belong.
    QMetaObject::invokeMethod(
        context_, [tasks = tasks_] { run(tasks); }, Qt::QueuedConnection);
}

TaskHandle QtMainQueue::after(double seconds, Task task) {
    TaskHandle handle(std::make_shared<std::atomic<bool>>(false));
    const int milliseconds = static_cast<int>(std::ceil(std::max(0.0, seconds) * 1000.0));
    // The timer is started from the GUI thread, since Qt timers belong to the thread that
    // starts them.
    post([context = context_, tasks = tasks_, milliseconds, handle,
          task = std::move(task)]() mutable {
        if (handle.cancelled()) return;
        QTimer::singleShot(milliseconds, Qt::PreciseTimer, context,
                           [handle, tasks, task = std::move(task)] {
                               if (!handle.cancelled() && !tasks->closed) task();
                           });
    });
    return handle;
}

}  // namespace brimwick
