#include "core/adopted_threads.h"

#include <mutex>
#include <vector>

namespace brimwick {
namespace {

class Adopted {
  public:
    ~Adopted() { joinAll(); }

    void add(std::thread thread) {
        std::lock_guard lock(mutex_);
        threads_.push_back(std::move(thread));
    }

    void joinAll() {
        for (;;) {
            std::vector<std::thread> threads;
            {
                std::lock_guard lock(mutex_);
                threads.swap(threads_);
            }
            if (threads.empty()) return;
            for (auto& thread : threads) thread.join();
        }
    }

  private:
    std::mutex mutex_;
    std::vector<std::thread> threads_;
};

Adopted& adopted() {
    static Adopted instance;
    return instance;
}

}  // namespace

void adoptThread(std::thread thread) {
    adopted().add(std::move(thread));
}

void joinAdoptedThreads() {
    adopted().joinAll();
}

}  // namespace brimwick
