// Hook server costs: the request parser alone, and the whole round trip of one hook post over
// loopback (one connection per request, as curl does it) with 1 and 32 concurrent clients.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>

#include "hooks/hook_server.h"
#include "load_driver.h"
#include "net/http_request.h"

namespace brimwick {
namespace {

void BM_ParseTypicalRequest(benchmark::State& state) {
    const std::string request = bench::typicalHookRequest();
    for (auto _ : state) {
        auto result = parseRequest(request);
        benchmark::DoNotOptimize(result);
    }
    state.counters["bytes"] = static_cast<double>(request.size());
}
BENCHMARK(BM_ParseTypicalRequest);

// The round trip is measured by hand: percentiles need every request's sample.
void runRoundTrip(int clients, int requests) {
    std::atomic<long> delivered{0};
    HookServer::Callbacks callbacks;
    callbacks.onEvent = [&](HookEvent) { delivered.fetch_add(1); };
    HookServer::Options options;
    options.port = 0;
    HookServer server(callbacks, options);
    if (!server.start()) return;
    const auto load =
        bench::driveLoad(server.port(), bench::typicalHookRequest(), clients, requests);
    std::printf(
        "round trip, %2d concurrent: %8.0f requests/s  p50 %6.0f us  p99 %6.0f us  "
        "(%zu requests, %ld failed, %ld delivered)\n",
        clients, load.requestsPerSecond(), load.percentile(0.50), load.percentile(0.99),
        load.latencies.size(), load.failed, delivered.load());
}

}  // namespace
}  // namespace brimwick

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    brimwick::runRoundTrip(1, 10000);
    brimwick::runRoundTrip(32, 50000);
    return 0;
}
