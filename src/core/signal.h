// Signal: a small observer list with RAII subscriptions, used for every change notification.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <utility>

namespace brimwick {

// Ends a Signal connection when destroyed (or on reset()). Outliving the Signal is harmless.
class Subscription {
  public:
    Subscription() = default;
    explicit Subscription(std::function<void()> disconnect) : disconnect_(std::move(disconnect)) {}
    Subscription(Subscription&& other) noexcept
        : disconnect_(std::exchange(other.disconnect_, {})) {}
    Subscription& operator=(Subscription&& other) noexcept {
        if (this != &other) {
            reset();
            disconnect_ = std::exchange(other.disconnect_, {});
        }
        return *this;
    }
    Subscription(const Subscription&) = delete;
    Subscription& operator=(const Subscription&) = delete;
    ~Subscription() { reset(); }

    void reset() {
        if (auto disconnect = std::exchange(disconnect_, {})) disconnect();
    }

  private:
    std::function<void()> disconnect_;
};

// Main-thread only. Slots run synchronously in connection order; a slot may disconnect itself
// or others while the signal is being emitted.
template <typename... Args>
class Signal {
  public:
    using Slot = std::function<void(Args...)>;

    Signal() : slots_(std::make_shared<Slots>()) {}
    Signal(const Signal&) = delete;
    Signal& operator=(const Signal&) = delete;

    [[nodiscard]] Subscription connect(Slot slot) {
        const auto id = slots_->next++;
        slots_->byId.emplace(id, std::make_shared<Slot>(std::move(slot)));
        std::weak_ptr<Slots> weak = slots_;
        return Subscription([weak, id] {
            if (auto live = weak.lock()) live->byId.erase(id);
        });
    }

    void emit(Args... args) const {
        // Copy first: slots may connect or disconnect while we iterate.
        auto current = slots_->byId;
        for (auto& [id, slot] : current) {
            if (slots_->byId.count(id)) (*slot)(args...);
        }
    }

    bool empty() const { return slots_->byId.empty(); }

  private:
    struct Slots {
        std::map<unsigned long, std::shared_ptr<Slot>> byId;
        unsigned long next = 0;
    };
    std::shared_ptr<Slots> slots_;
};

}  // namespace brimwick
