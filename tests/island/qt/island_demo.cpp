// island_demo: the island on its own, fed with made-up sessions and usage figures, for the
// display tests and for looking at it. Prints "ready" with the panel and ear frames once laid
// out, and one line per tap. ("--session" would be taken by Qt itself.)
//
//   island_demo [--add STATE[:PROJECT]]... [--demo N] [--session-used F] [--week-used F]
//               [--resets-in SECONDS] [--stale] [--reduce-motion] [--hover] [--quit-after S]
#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/qt/qt_main_queue.h"
#include "core/random_source.h"
#include "island/qt/island_panel.h"
#include "island/qt/island_view.h"
#include "platform/process_probe.h"
#include "sessions/session_store.h"
#include "support/memory_preferences.h"
#include "usage/usage_store.h"

using namespace brimwick;

namespace {

void say(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

std::string frameText(const Rect& rect) {
    char text[96];
    std::snprintf(text, sizeof text, "%g %g %g %g", rect.x, rect.y, rect.width, rect.height);
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    std::vector<std::string> sessions;
    int demo = 0;
    std::optional<double> sessionUsed;
    std::optional<double> weekUsed;
    double resetsIn = 2 * 3600 + 7 * 60;
    bool stale = false;
    bool reduceMotion = false;
    bool hover = false;
    double quitAfter = 0;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        const std::string arg = args[i].toStdString();
        const std::string next = i + 1 < args.size() ? args[i + 1].toStdString() : "";
        if (arg == "--add") {
            sessions.push_back(next), ++i;
        } else if (arg == "--demo") {
            demo = std::stoi(next), ++i;
        } else if (arg == "--session-used") {
            sessionUsed = std::stod(next), ++i;
        } else if (arg == "--week-used") {
            weekUsed = std::stod(next), ++i;
        } else if (arg == "--resets-in") {
            resetsIn = std::stod(next), ++i;
        } else if (arg == "--stale") {
            stale = true;
        } else if (arg == "--reduce-motion") {
            reduceMotion = true;
        } else if (arg == "--hover") {
            hover = true;
        } else if (arg == "--quit-after") {
            quitAfter = std::stod(next), ++i;
        } else {
            std::fprintf(stderr, "island_demo: unknown argument %s\n", arg.c_str());
            return 2;
        }
    }

    SystemClock clock;
    QtMainQueue queue(&app);
    testing::MemoryPreferences preferences;
    auto store = SessionStore::create(queue, clock, std::make_shared<SignalProcessProbe>(),
                                      std::make_shared<SystemRandomSource>());
    int fetches = 0;
    const bool hasUsage = sessionUsed || weekUsed;
    preferences.setValue(UsageStore::preferenceKey, hasUsage);
    auto usage = UsageStore::create(
        queue, clock, preferences, [&](BackgroundTask&, std::function<void(UsageOutcome)> done) {
            // The first answer has figures; a later one fails, which leaves them stale.
            if (fetches++ > 0) return done(UsageError::of(UsageError::Kind::network));
            PlanUsage figures;
            if (sessionUsed) figures.session = UsageLimit{*sessionUsed, clock.now() + resetsIn};
            if (weekUsed) figures.week = UsageLimit{*weekUsed, clock.now() + 4 * 86400};
            figures.fetchedAt = clock.now();
            done(figures);
        });
    if (stale) queue.post([&] { usage->refresh(true); });

    IslandPanel controller(
        *store, *usage, [](const AgentSession& session) { say("tap session " + session.id); },
        [] { say("tap count"); }, [] { say("tap usage"); }, clock, reduceMotion);
    if (hover) {
        controller.setPointerSource([&controller] {
            const Rect ear = controller.layout().sessionsFrame.width > 0
                                 ? controller.layout().sessionsFrame
                                 : controller.layout().usageFrame;
            const QRect panel = controller.panel().geometry();
            return QPointF(panel.x() + ear.midX(), panel.y() + ear.midY());
        });
    }

    int index = 0;
    for (const std::string& entry : sessions) {
        const auto colon = entry.find(':');
        const std::string stateName = entry.substr(0, colon);
        const std::string project = colon == std::string::npos ? "project" + std::to_string(index)
                                                               : entry.substr(colon + 1);
        const auto state = botStateFromRaw(stateName);
        if (!state) {
            std::fprintf(stderr, "island_demo: unknown state %s\n", stateName.c_str());
            return 2;
        }
        HookEvent event;
        event.sessionId = "demo-" + std::to_string(index++);
        event.cwd = "/home/user/" + project;
        event.state = std::string(rawValue(*state));
        store->handle(event);
    }
    if (demo > 0) store->spawnDemo(demo);

    // Report once everything has been laid out and the ears are in place.
    QTimer::singleShot(1500, &app, [&] {
        const QRect panel = controller.panel().geometry();
        say("ready panel " +
            frameText({double(panel.x()), double(panel.y()), double(panel.width()),
                       double(panel.height())}) +
            " session " + frameText(controller.layout().sessionsFrame) + " usage " +
            frameText(controller.layout().usageFrame));
    });
    if (quitAfter > 0) {
        QTimer::singleShot(static_cast<int>(quitAfter * 1000), &app, &QApplication::quit);
    }
    return app.exec();
}
