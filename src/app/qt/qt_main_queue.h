// QtMainQueue: the desktop face's main queue, on the Qt event loop of the GUI thread.
#pragma once

#include <QObject>
#include <atomic>
#include <deque>
#include <memory>
#include <mutex>

#include "core/main_queue.h"

namespace brimwick {

// Tasks run on the thread that owns `context` (the GUI thread), in the order they were posted.
// They wait in a list of the queue's own, with at most one Qt event posted to run them, so that
// close() can drop any backlog at once. Tasks still queued when `context` is destroyed never run.
class QtMainQueue final : public MainQueue {
  public:
    explicit QtMainQueue(QObject* context);

    void post(Task task) override;
    TaskHandle after(double seconds, Task task) override;

    // From now on no task runs: the one running finishes, the queued ones are dropped unrun (on
    // the GUI thread), later ones are not kept. For a loop that is ending, so that neither its
    // end nor the tear-down after it waits behind the queue. Any thread.
    void close();

  private:
    struct Tasks {
        std::mutex mutex;
        std::deque<Task> queued;  // guarded by mutex
        bool scheduled = false;   // a Qt event to run them is on its way; guarded by mutex
        std::atomic<bool> closed = false;
    };
    static void run(const std::shared_ptr<Tasks>& tasks);

    QObject* context_;
    std::shared_ptr<Tasks> tasks_;
};

}  // namespace brimwick
