#include "app/headless_runner.h"

#include <asio/io_context.hpp>
#include <asio/signal_set.hpp>
#include <cstdio>
#include <iostream>

#include "app/headless_options.h"
#include "core/clock.h"
#include "hooks/hook_server.h"
#include "platform/asio_main_queue.h"
#include "platform/json_file_preferences.h"
#include "sessions/session_store.h"
#include "usage/usage_store.h"
#include "usage/usage_text.h"

namespace brimwick {
namespace {

// Every line is flushed at once: scripts and tests read the output as it comes.
void printLine(const std::string& line) {
    std::cout << line << std::endl;
}

}  // namespace

std::string sessionsLine(const std::vector<AgentSession>& ranked) {
    if (ranked.empty()) return "sessions: none";
    std::string line = "sessions: ";
    for (std::size_t i = 0; i < ranked.size(); ++i) {
        if (i > 0) line += ", ";
        line += ranked[i].project + ": " + std::string(label(ranked[i].state));
    }
    return line;
}

int runHeadless(int argc, char** argv) {
    const auto options = parseHeadlessOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (!options.ok()) {
        std::cerr << "brimwick: " << options.error().message << "\n\n" << headlessUsage();
        return 2;
    }
    if (options->help) {
        std::cout << headlessUsage();
        return 0;
    }

    asio::io_context context;
    AsioMainQueue main(context);
    SystemClock clock;
    JsonFilePreferences preferences;
    auto store = SessionStore::create(main, clock, std::make_shared<SignalProcessProbe>(),
                                      std::make_shared<SystemRandomSource>());
    Subscription sessions = store->changed.connect([&main, weak = std::weak_ptr(store)](auto&) {
        // Printed from a task posted after the change, so it shows the list after it.
        main.post([weak] {
            if (auto store = weak.lock()) printLine(sessionsLine(store->ranked()));
        });
    });

    auto usage = UsageStore::create(main, clock, preferences, backgroundUsageFetch());
    // Printed when the lines differ from the last ones printed, so repeats stay quiet.
    auto lastUsage = std::make_shared<std::vector<std::string>>();
    const auto printUsage = [&main, &clock, lastUsage, weak = std::weak_ptr(usage)] {
        main.post([&clock, lastUsage, weak] {
            auto usage = weak.lock();
            if (!usage) return;
            auto lines = usageMenuLines(*usage, clock.now());
            if (lines == *lastUsage) return;
            for (const auto& line : lines) printLine("usage: " + line);
            *lastUsage = std::move(lines);
        });
    };
    printUsage();
    Subscription usageChanges = usage->changed.connect(printUsage);

    // Server callbacks run on the server's thread; everything they touch lives on main.
    HookServer::Callbacks callbacks;
    callbacks.onEvent = [&main, store](HookEvent event) {
        main.post([store, event = std::move(event)] { store->handle(event); });
    };
    callbacks.onPermission = [](HookEvent, HookServer::Reply reply) {
        // No phone is watching: an empty answer lets Claude Code ask in the terminal.
        reply(std::nullopt);
    };
    callbacks.onStop = [&main, store, usage](HookEvent event, HookServer::Reply reply) {
        main.post([store, usage, event = std::move(event), reply = std::move(reply)] {
            store->handle(event);
            reply(std::nullopt);
            // The end of a turn is a good moment to re-read the plan usage.
            usage->refresh(false);
        });
    };
    callbacks.onStatus = [&main](std::string status) {
        main.post([status = std::move(status)] { printLine("hook server: " + status); });
    };
    HookServer server(std::move(callbacks));
    if (auto started = server.start(); !started) {
        printLine("hook server: Couldn't open port " + std::to_string(HookServer::kPort) + ": " +
                  started.error().message);
    }

    if (options->demo > 0) store->spawnDemo(options->demo);

    asio::signal_set signals(context, SIGINT, SIGTERM);
    signals.async_wait([&context](const std::error_code&, int) { context.stop(); });
    context.run();
    return 0;
}

}  // namespace brimwick
