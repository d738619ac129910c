// AsioMainQueue: the headless face's main thread, an Asio io_context run by main().
#pragma once

#include <asio/io_context.hpp>

#include "core/main_queue.h"

namespace brimwick {

// Tasks run on whichever thread runs `context` (the main thread). The context must outlive
// the queue and every task posted to it.
class AsioMainQueue final : public MainQueue {
  public:
    explicit AsioMainQueue(asio::io_context& context) : context_(context) {}

    void post(Task task) override;
    TaskHandle after(double seconds, Task task) override;

  private:
    asio::io_context& context_;
};

}  // namespace brimwick
