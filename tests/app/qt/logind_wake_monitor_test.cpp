#include "app/qt/logind_wake_monitor.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>

namespace brimwick {
namespace {

// A private session-style bus, so nothing here touches the machine's buses.
class PrivateBus {
  public:
    PrivateBus() {
        if (!QFile::exists(QStringLiteral("/usr/bin/dbus-daemon"))) return;
        daemon_.start(QStringLiteral("/usr/bin/dbus-daemon"),
                      {QStringLiteral("--session"), QStringLiteral("--nofork"),
                       QStringLiteral("--print-address=1")});
        if (!daemon_.waitForStarted(5000) || !daemon_.waitForReadyRead(5000)) return;
        address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
    }
    ~PrivateBus() {
        for (const auto& name : names_) QDBusConnection::disconnectFromBus(name);
        daemon_.kill();
        daemon_.waitForFinished(5000);
    }
    bool ok() const { return !address_.isEmpty(); }
    QDBusConnection connect(const QString& name) {
        names_ << name;
        return QDBusConnection::connectToBus(address_, name);
    }

  private:
    QProcess daemon_;
    QString address_;
    QStringList names_;
};

void prepareForSleep(QDBusConnection& bus, bool goingToSleep) {
    auto message = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/login1"),
                                              QStringLiteral("org.freedesktop.login1.Manager"),
                                              QStringLiteral("PrepareForSleep"));
    message << goingToSleep;
    ASSERT_TRUE(bus.send(message));
    bus.call(QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus.Peer"), QStringLiteral("Ping")));
}

// Delivery crosses a real bus: run the loop until `done` or a generous limit.
template <typename Done>
bool spin(Done done) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < 5000) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    }
    return done();
}

TEST(LogindWakeMonitorTest, OnlyTheResumeFromLogindWakesSubscribers) {
    PrivateBus bus;
    if (!bus.ok()) GTEST_SKIP() << "dbus-daemon is not installed";
    LogindWakeMonitor monitor(bus.connect(QStringLiteral("monitor")));
    ASSERT_TRUE(monitor.isListening());
    int wakes = 0;
    Subscription subscription = monitor.subscribe([&] { ++wakes; });

    QDBusConnection logind = bus.connect(QStringLiteral("logind"));
    ASSERT_TRUE(logind.registerService(QStringLiteral("org.freedesktop.login1")));
    QDBusConnection stranger = bus.connect(QStringLiteral("stranger"));

    prepareForSleep(logind, true);     // going to sleep: nothing yet
    prepareForSleep(stranger, false);  // not logind
    prepareForSleep(logind, false);
    ASSERT_TRUE(spin([&] { return wakes > 0; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(wakes, 1);

    subscription.reset();
    prepareForSleep(logind, false);
    monitor.prepareForSleep(false);
    EXPECT_EQ(wakes, 1);
}

TEST(LogindWakeMonitorTest, WithoutABusNothingIsDeliveredAndNothingFails) {
    LogindWakeMonitor monitor(QDBusConnection(QStringLiteral("no such connection")));
    EXPECT_FALSE(monitor.isListening());
    int wakes = 0;
    Subscription subscription = monitor.subscribe([&] { ++wakes; });
    monitor.prepareForSleep(false);  // a direct call still works
    EXPECT_EQ(wakes, 1);
}

}  // namespace
}  // namespace brimwick
