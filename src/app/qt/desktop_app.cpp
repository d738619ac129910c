#include "app/qt/desktop_app.h"

#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QIcon>
#include <QPixmap>
#include <QSocketNotifier>
#include <csignal>
#include <cstdlib>
#include <iostream>

#include "app/app_delegate.h"
#include "app/brand.h"
#include "app/display_choice.h"
#include "app/headless_options.h"
#include "app/headless_runner.h"
#include "app/qt/app_icon.h"
#include "app/qt/desktop_settings.h"
#include "app/qt/logind_wake_monitor.h"
#include "app/qt/qt_face.h"
#include "app/qt/qt_main_queue.h"
#include "app/system_environment.h"

namespace brimwick {
namespace {

int signalPipe[2] = {-1, -1};

void onQuitSignal(int) {
    const char byte = 1;
    (void)!::write(signalPipe[1], &byte, 1);
}

// SIGINT and SIGTERM end the event loop like Quit does, so everything is torn down in order.
class QuitOnSignals {
  public:
    explicit QuitOnSignals(QApplication& app) {
        if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
        notifier_ = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, &app, [&app] {
            char byte;
            while (::read(signalPipe[0], &byte, 1) > 0) {
            }
            app.quit();
        });
        struct sigaction action {};
        action.sa_handler = onQuitSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        ::sigaction(SIGINT, &action, nullptr);
        ::sigaction(SIGTERM, &action, nullptr);
    }
    ~QuitOnSignals() {
        if (!notifier_) return;
        ::signal(SIGINT, SIG_DFL);
        ::signal(SIGTERM, SIG_DFL);
        notifier_.reset();
        ::close(signalPipe[0]);
        ::close(signalPipe[1]);
        signalPipe[0] = signalPipe[1] = -1;
    }

  private:
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace

int runDesktop(int argc, char** argv) {
    const auto options = parseHeadlessOptions(std::vector<std::string>(argv + 1, argv + argc));
    // Help, mistakes and the login-item switch need no display: the text face answers them.
    if (!options.ok() || options->help || options->loginItem) return runHeadless(argc, argv);

    const DisplayChoice display = chooseDisplay(
        [](const char* name) -> std::optional<std::string> {
            const char* value = std::getenv(name);
            if (!value) return std::nullopt;
            return std::string(value);
        },
        canOpenX11Display);
    if (!display.ok()) {
        std::cerr << display.problem << std::endl;
        return 1;
    }
    // On Wayland sessions too: the island places itself, which only X11 allows.
    if (display.platform) qputenv("QT_QPA_PLATFORM", QByteArray::fromStdString(*display.platform));

    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(brand::kAppName));
    QApplication::setApplicationVersion(QStringLiteral(BRIMWICK_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("brimwick"));
    QApplication::setWindowIcon(QIcon(QPixmap::fromImage(appIconImage(256))));
    // Alerts and the About window come and go; only Quit ends the app.
    QApplication::setQuitOnLastWindowClosed(false);

    QtMainQueue main(&app);
    SystemEnvironment system;
    // Stored before the link reads it, as the menu's switch would store it.
    if (options->phone) system.preferences().setValue(PhoneLink::kEnabledKey, *options->phone);
    LogindWakeMonitor wake;

    QtFace face(system.clock(), systemReduceMotion());
    auto delegate = AppDelegate::launch(system.environment(main, &wake), face);
    face.attach(*delegate);
    if (options->demo > 0) delegate->store().spawnDemo(options->demo);

    QuitOnSignals quitOnSignals(app);
    const int status = QApplication::exec();
    delegate.reset();
    return status;
}

}  // namespace brimwick
