#include "app/qt/desktop_app.h"

#include <QApplication>
#include <QIcon>
#include <QMetaObject>
#include <QPixmap>
#include <cstdlib>
#include <iostream>

#include "app/app.h"
#include "app/brand.h"
#include "app/display_choice.h"
#include "app/headless_options.h"
#include "app/headless_runner.h"
#include "app/qt/app_icon.h"
#include "app/qt/desktop_settings.h"
#include "app/qt/qt_face.h"
#include "app/qt/qt_main_queue.h"
#include "app/system_environment.h"
#include "mascot/qt/mascot_icon.h"
#include "platform/qt/dbus_notifications.h"
#include "platform/quit_signals.h"
#include "platform/suspend_wake_monitor.h"

namespace brimwick {

int runDesktop(int argc, char** argv) {
    const auto options = parseHeadlessOptions(std::vector<std::string>(argv + 1, argv + argc));
    // Help, mistakes and the login-item switch need no display: the text face answers them.
    if (!options.ok() || options->help || options->loginItem) return runHeadless(argc, argv);

    const DisplayChoice display = chooseDisplay();
    if (!display.ok()) {
        std::cerr << display.refusal() << std::endl;
        return 1;
    }
    // On Wayland sessions too: the island places itself, which only X11 allows.
    if (display.platform) qputenv("QT_QPA_PLATFORM", QByteArray::fromStdString(*display.platform));

    QApplication qtApp(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(brand::kAppName));
    QApplication::setApplicationVersion(QStringLiteral(BRIMWICK_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("brimwick"));
    QApplication::setWindowIcon(QIcon(QPixmap::fromImage(appIconImage(256))));
    // Alerts and the About window come and go; only Quit ends the app.
    QApplication::setQuitOnLastWindowClosed(false);

    QtMainQueue main(&qtApp);
    // SIGINT and SIGTERM end the loop like Quit does, without running the tasks still queued:
    // the signal thread closes the queue, which drops them after the task at hand, and posts the
    // loop's exit, which also reaches a loop that has not started yet.
    QuitSignals quit([&main, &qtApp] {
        main.close();
        QMetaObject::invokeMethod(
            &qtApp, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
    });
    SystemEnvironment system;
    // Stored before the link reads it, as the menu's switch would store it.
    if (options->phone) system.preferences().setValue(PhoneLink::kEnabledKey, *options->phone);
    if (options->approveDesktop) {
        system.preferences().setValue(DesktopNotifier::kApprovalsKey, *options->approveDesktop);
    }
    SuspendWakeMonitor wake(main);

    DBusNotifications notifications(QDBusConnection::sessionBus(),
                                    [](BotState state) { return mascotIcon(state, 96); });
    QtFace face(system.clock(), false);
    ReduceMotionWatcher motion([&face](bool on) { face.setReduceMotion(on); });
    face.setReduceMotion(motion.current());
    AppEnvironment environment = system.environment(main, &wake);
    environment.notifications = &notifications;
    auto app = App::launch(std::move(environment), face);
    face.attach(*app);
    if (options->demo > 0) app->store().spawnDemo(options->demo);

    const int status = QApplication::exec();
    // The servers' and the usage fetch's threads end with the app; tasks still queued are
    // dropped unrun with the application.
    main.close();
    app.reset();
    return status;
}

}  // namespace brimwick
