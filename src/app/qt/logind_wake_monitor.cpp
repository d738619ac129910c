#include "app/qt/logind_wake_monitor.h"

namespace brimwick {

LogindWakeMonitor::LogindWakeMonitor() : LogindWakeMonitor(QDBusConnection::systemBus()) {}

LogindWakeMonitor::LogindWakeMonitor(QDBusConnection bus) {
    if (!bus.isConnected()) return;
    listening_ = bus.connect(QStringLiteral("org.freedesktop.login1"),
                             QStringLiteral("/org/freedesktop/login1"),
                             QStringLiteral("org.freedesktop.login1.Manager"),
                             QStringLiteral("PrepareForSleep"), this, SLOT(prepareForSleep(bool)));
}

Subscription LogindWakeMonitor::subscribe(std::function<void()> onWake) {
    return woke_.connect(std::move(onWake));
}

void LogindWakeMonitor::prepareForSleep(bool goingToSleep) {
    if (!goingToSleep) woke_.emit();
}

}  // namespace brimwick
