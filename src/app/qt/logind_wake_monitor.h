// LogindWakeMonitor: resumes from sleep as systemd-logind announces them on the system bus
// (PrepareForSleep with false).
#pragma once

#include <QDBusConnection>
#include <QObject>

#include "core/signal.h"
#include "platform/wake_monitor.h"

namespace brimwick {

// GUI thread only; wake-ups are delivered on it. Without a system bus, or without logind on
// it, nothing is ever delivered and nothing fails.
class LogindWakeMonitor final : public QObject, public WakeMonitor {
    Q_OBJECT

  public:
    // Listens on the system bus.
    LogindWakeMonitor();
    // Listens on `bus`, for tests with a private bus.
    explicit LogindWakeMonitor(QDBusConnection bus);

    [[nodiscard]] Subscription subscribe(std::function<void()> onWake) override;

    // Whether the bus was there and the signal could be matched.
    bool isListening() const { return listening_; }

  public Q_SLOTS:
    // logind's signal: true before sleeping, false after waking.
    void prepareForSleep(bool goingToSleep);

  private:
    Signal<> woke_;
    bool listening_ = false;
};

}  // namespace brimwick
