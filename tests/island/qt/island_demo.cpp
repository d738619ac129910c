// island_demo: the island on its own with made-up sessions, for the display test, the CPU
// benchmark (bench/island_cpu.sh) and for looking at it. Prints "ready panel X Y W H session X Y
// W H" once laid out, then a line per tap. ("--session" would be taken by Qt itself.)
//
//   island_demo [--add STATE[:PROJECT]]... [--demo N]
#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <cstdio>

#include "app/qt/qt_main_queue.h"
#include "core/random_source.h"
#include "island/qt/island_panel.h"
#include "platform/process_probe.h"
#include "sessions/session_store.h"
#include "support/memory_preferences.h"
#include "usage/usage_store.h"

using namespace brimwick;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    SystemClock clock;
    QtMainQueue queue(&app);
    testing::MemoryPreferences preferences({{UsageStore::preferenceKey, false}});
    auto store = SessionStore::create(queue, clock, std::make_shared<SignalProcessProbe>(),
                                      std::make_shared<SystemRandomSource>());
    auto usage = UsageStore::create(queue, clock, preferences,
                                    [](BackgroundTask&, std::function<void(UsageOutcome)>) {});
    auto say = [](const std::string& line) {
        std::printf("%s\n", line.c_str());
        std::fflush(stdout);
    };
    IslandPanel island(
        *store, *usage, [&](const AgentSession& session) { say("tap session " + session.id); },
        [&] { say("tap count"); }, [&] { say("tap usage"); }, clock);

    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        const std::string value = args[i + 1].toStdString(), n = std::to_string(i / 2);
        if (args[i] == "--demo") {
            store->spawnDemo(std::stoi(value));
            continue;
        }
        const auto colon = value.find(':');
        const auto state = botStateFromRaw(value.substr(0, colon));
        if (args[i] != "--add" || !state) {
            std::fprintf(stderr, "island_demo: cannot use %s\n", args[i].toUtf8().constData());
            return 2;
        }
        HookEvent event;
        event.sessionId = "demo-" + n;
        event.cwd =
            "/home/user/" + (colon == std::string::npos ? "project" + n : value.substr(colon + 1));
        event.state = std::string(rawValue(*state));
        store->handle(event);
    }
    // Report once everything has been laid out and the ears are in place.
    QTimer::singleShot(1500, &app, [&] {
        const QRect panel = island.panel().geometry();
        const Rect ear = island.layout().sessionsFrame;
        char line[160];
        std::snprintf(line, sizeof line, "ready panel %d %d %d %d session %g %g %g %g", panel.x(),
                      panel.y(), panel.width(), panel.height(), ear.x, ear.y, ear.width,
                      ear.height);
        say(line);
    });
    return app.exec();
}
