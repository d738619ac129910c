// QuitSignals: SIGINT and SIGTERM taken synchronously on a thread of their own. A quit then never
// runs inside whatever a thread was doing, and never waits behind the main thread's queue.
#pragma once

#include <functional>
#include <thread>

namespace brimwick {

class QuitSignals {
  public:
    // Blocks SIGINT and SIGTERM in the calling thread and so in every thread started after it.
    // Call first thing in main, before any thread exists: from then on the signals are only
    // taken by a QuitSignals, and one that comes while none runs waits for the next.
    static void block();

    // Starts the signal thread. At the first SIGINT or SIGTERM (also one that came before),
    // `onQuit` runs on that thread, once; it should only hand the quit over (io_context::stop(),
    // a posted event). If the thread cannot be set up, the signals are unblocked again for the
    // calling thread, so they end the process the default way rather than not at all.
    explicit QuitSignals(std::function<void()> onQuit);
    // Stops and joins the thread. Signals that come later stay pending, without effect.
    ~QuitSignals();
    QuitSignals(const QuitSignals&) = delete;
    QuitSignals& operator=(const QuitSignals&) = delete;

  private:
    int signals_ = -1;  // signalfd for SIGINT and SIGTERM
    int stop_ = -1;     // eventfd that ends the thread
    std::thread thread_;
};

}  // namespace brimwick
