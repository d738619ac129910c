#include "app/qt/qt_main_queue.h"

#include <QMetaObject>
#include <QTimer>
#include <cmath>

namespace brimwick {

void QtMainQueue::post(Task task) {
    QMetaObject::invokeMethod(context_, std::move(task), Qt::QueuedConnection);
}

TaskHandle QtMainQueue::after(double seconds, Task task) {
    TaskHandle handle(std::make_shared<std::atomic<bool>>(false));
    const int milliseconds = static_cast<int>(std::ceil(std::max(0.0, seconds) * 1000.0));
    // The timer is started from the GUI thread, since Qt timers belong to the thread that
    // starts them.
    post([context = context_, milliseconds, handle, task = std::move(task)]() mutable {
        if (handle.cancelled()) return;
        QTimer::singleShot(milliseconds, Qt::PreciseTimer, context,
                           [handle, task = std::move(task)] {
                               if (!handle.cancelled()) task();
                           });
    });
    return handle;
}

}  // namespace brimwick
