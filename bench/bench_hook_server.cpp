// Hook server costs: the request parser alone, and the whole round trip of one hook post over
// loopback (one connection per request, as curl does it) with 1 and 32 concurrent clients.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "hooks/hook_server.h"
#include "hooks/http_request.h"
#include "support/raw_client.h"

namespace brimwick {
namespace {

// A typical hook post: curl's headers and a PreToolUse payload, about 1 KiB in all.
std::string typicalRequest() {
    const std::string body =
        R"({"session_id":"0b9f3c1e-7d2a-4e58-9a61-2f4c8d0e5b17","transcript_path":"/home/user/.claude/projects/-home-user-src-weather/0b9f3c1e-7d2a-4e58-9a61-2f4c8d0e5b17.jsonl","cwd":"/home/user/src/weather","permission_mode":"default","hook_event_name":"PreToolUse","tool_name":"Bash","tool_input":{"command":"make build && ./build/weather --city Lisbon --units metric","description":"Build the project and run the weather tool for Lisbon"},"tool_use_id":"toolu_01AbCdEfGhIjKlMnOpQrStUv"})";
    const auto build = [](const std::string& b) {
        return "POST /hook HTTP/1.1\r\nHost: 127.0.0.1:47821\r\nUser-Agent: curl/7.88.1\r\n"
               "Accept: */*\r\nContent-Type: application/json\r\nX-Claude-PID: 41327\r\n"
               "Content-Length: " +
               std::to_string(b.size()) + "\r\n\r\n" + b;
    };
    // Pad with JSON white space to 1 KiB in all.
    const std::size_t shortBy = 1024 - build(body).size();
    return build(body.substr(0, body.size() - 1) + std::string(shortBy, ' ') + "}");
}

void BM_ParseTypicalRequest(benchmark::State& state) {
    const std::string request = typicalRequest();
    for (auto _ : state) {
        auto result = parseRequest(request);
        benchmark::DoNotOptimize(result);
    }
    state.counters["bytes"] = static_cast<double>(request.size());
}
BENCHMARK(BM_ParseTypicalRequest);

}  // namespace
}  // namespace brimwick

// The round trip is measured by hand: percentiles need every client's samples.
namespace {

void runRoundTrip(int clients, int requestsPerClient) {
    using namespace brimwick;
    HookServer::Callbacks callbacks;
    std::atomic<long> delivered{0};
    callbacks.onEvent = [&](HookEvent) { delivered.fetch_add(1); };
    HookServer::Options options;
    options.port = 0;
    HookServer server(callbacks, options);
    if (!server.start()) return;
    const std::string request = typicalRequest();
    std::vector<std::vector<double>> latencies(static_cast<std::size_t>(clients));
    std::vector<std::thread> threads;
    const auto start = std::chrono::steady_clock::now();
    for (int c = 0; c < clients; ++c) {
        threads.emplace_back([&, c] {
            auto& mine = latencies[static_cast<std::size_t>(c)];
            mine.reserve(static_cast<std::size_t>(requestsPerClient));
            for (int i = 0; i < requestsPerClient; ++i) {
                const auto t0 = std::chrono::steady_clock::now();
                testing::RawClient client(server.port());
                client.send(request);
                auto answer = client.readAll();
                benchmark::DoNotOptimize(answer);
                mine.push_back(
                    std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0)
                        .count());
            }
        });
    }
    for (auto& t : threads) t.join();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::vector<double> all;
    for (auto& l : latencies) all.insert(all.end(), l.begin(), l.end());
    std::sort(all.begin(), all.end());
    const auto pct = [&](double p) {
        return all[std::min(all.size() - 1, static_cast<std::size_t>(p * all.size()))];
    };
    std::printf(
        "round trip, %2d client(s): %8.0f requests/s  p50 %6.0f us  p99 %6.0f us  "
        "(%zu requests, %ld delivered)\n",
        clients, all.size() / seconds, pct(0.50), pct(0.99), all.size(), delivered.load());
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    runRoundTrip(1, 5000);
    runRoundTrip(32, 1000);
    return 0;
}
