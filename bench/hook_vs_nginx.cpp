// Brimwick's hook server next to nginx answering `return 204;`: the same load generator drives
// both in the same run, 1 client and 32 concurrent, one connection per 1 KiB request as curl
// makes them. bench/hook_vs_nginx.sh starts nginx and passes its port; a second port, if given,
// is a whole headless app. Rounds alternate which server goes first, so drift in the machine's
// load falls on both alike; the figures pool every round (10,000 requests per server with one
// client, 50,000 with 32, split over the rounds).
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "hooks/hook_server.h"
#include "load_driver.h"

namespace {

using brimwick::bench::LoadResult;

struct Target {
    std::string name;
    std::uint16_t port;
};

// Adds `more` to `into`: latencies and failures pooled, wall time summed.
void pool(LoadResult& into, const LoadResult& more) {
    into.latencies.insert(into.latencies.end(), more.latencies.begin(), more.latencies.end());
    into.seconds += more.seconds;
    into.failed += more.failed;
}

void compare(const std::vector<Target>& targets, int clients, int requestsPerRound, int rounds) {
    const std::string request = brimwick::bench::typicalHookRequest();
    std::vector<LoadResult> results(targets.size());
    for (int round = 0; round < rounds; ++round) {
        for (std::size_t i = 0; i < targets.size(); ++i) {
            const auto t = round % 2 == 0 ? i : targets.size() - 1 - i;
            pool(results[t],
                 brimwick::bench::driveLoad(targets[t].port, request, clients, requestsPerRound));
        }
    }
    for (std::size_t t = 0; t < targets.size(); ++t) {
        auto& r = results[t];
        std::sort(r.latencies.begin(), r.latencies.end());
        std::printf(
            "%2d concurrent, %-14s %7.0f requests/s  mean %6.0f us  p50 %6.0f us  p99 %6.0f us  "
            "(%zu answered, %ld failed)\n",
            clients, targets[t].name.c_str(), r.requestsPerSecond(), r.mean(), r.percentile(0.50),
            r.percentile(0.99), r.latencies.size(), r.failed);
    }
    const auto& hook = results[0];
    const auto& nginx = results[1];
    std::printf(
        "%2d concurrent, hook server / nginx: requests/s %.2f (above 1: hook server faster), "
        "p50 %.2f, p99 %.2f (above 1: hook server slower)\n",
        clients, hook.requestsPerSecond() / nginx.requestsPerSecond(),
        hook.percentile(0.50) / nginx.percentile(0.50),
        hook.percentile(0.99) / nginx.percentile(0.99));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s NGINX_PORT [APP_PORT [ROUNDS]]\n", argv[0]);
        return 2;
    }
    std::atomic<long> delivered{0};
    brimwick::HookServer::Callbacks callbacks;
    callbacks.onEvent = [&](brimwick::HookEvent) { delivered.fetch_add(1); };
    brimwick::HookServer::Options options;
    options.port = 0;
    brimwick::HookServer server(callbacks, options);
    if (!server.start()) {
        std::fprintf(stderr, "hook server did not start\n");
        return 1;
    }
    std::vector<Target> targets = {
        {"hook server:", server.port()},
        {"nginx:", static_cast<std::uint16_t>(std::atoi(argv[1]))},
    };
    if (argc >= 3 && std::atoi(argv[2]) > 0) {
        targets.push_back({"headless app:", static_cast<std::uint16_t>(std::atoi(argv[2]))});
    }
    const int rounds = argc >= 4 ? std::max(1, std::atoi(argv[3])) : 20;

    // Warm up every server (and the loopback's port ranges) before anything is measured.
    const std::string request = brimwick::bench::typicalHookRequest();
    for (const auto& target : targets) {
        const auto warm = brimwick::bench::driveLoad(target.port, request, 8, 500);
        if (warm.failed > 0 || warm.latencies.size() != 500) {
            std::fprintf(stderr, "%s port %u does not answer hook posts with 2xx\n",
                         target.name.c_str(), target.port);
            return 1;
        }
    }
    compare(targets, 1, 10000 / rounds, rounds);
    compare(targets, 32, 50000 / rounds, rounds);
    std::printf("(%ld hook events delivered by the in-process hook server)\n", delivered.load());
    return 0;
}
