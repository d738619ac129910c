// QtMainQueue: the desktop face's main queue, on the Qt event loop of the GUI thread.
#pragma once

#include <QObject>

#include "core/main_queue.h"

namespace brimwick {

// Tasks run on the thread that owns `context` (the GUI thread), in the order they were posted.
// Tasks still queued when `context` is destroyed never run.
class QtMainQueue final : public MainQueue {
  public:
    explicit QtMainQueue(QObject* context) : context_(context) {}

    void post(Task task) override;
    TaskHandle after(double seconds, Task task) override;

  private:
    QObject* context_;
};

}  // namespace brimwick
