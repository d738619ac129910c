// Long-poll fan-out: 50 phones wait on "/status", one publish answers them all. Measures the time
// from publish() until the last phone has its answer, and the resident memory the 50 waiting
// polls cost.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "phone/phone_server.h"
#include "support/raw_client.h"

namespace {

using namespace brimwick;
constexpr int kPhones = 50;

long residentKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    }
    return -1;
}

std::shared_ptr<PhoneServer> startServer() {
    PhoneServer::Options options;
    options.port = 0;
    options.address = "127.0.0.1";
    static SystemClock clock;
    auto server = PhoneServer::create("bench", {"token"}, "", {}, clock, options);
    if (!server->start()) return nullptr;
    return server;
}

std::string poll(long long version) {
    return "GET /status?v=" + std::to_string(version) +
           " HTTP/1.1\r\nAuthorization: Bearer token\r\n\r\n";
}

// Opens 50 polls on the current version and waits until the server holds them all.
std::vector<std::unique_ptr<testing::RawClient>> openPolls(PhoneServer& server, long long v) {
    std::vector<std::unique_ptr<testing::RawClient>> phones;
    for (int i = 0; i < kPhones; ++i) {
        phones.push_back(std::make_unique<testing::RawClient>(server.port()));
        phones.back()->send(poll(v));
    }
    while (server.waitingPolls() < kPhones) std::this_thread::yield();
    return phones;
}

void BM_FanOutToFiftyPhones(benchmark::State& state) {
    auto server = startServer();
    long long version = 0;
    nlohmann::json snapshot = {{"sessions", nlohmann::json::array()}};
    for (int i = 0; i < 3; ++i) snapshot["sessions"].push_back({{"id", i}, {"state", "working"}});
    for (auto _ : state) {
        state.PauseTiming();
        auto phones = openPolls(*server, version);
        state.ResumeTiming();
        server->publish(snapshot);
        ++version;
        for (auto& phone : phones) {
            const auto answer = phone->readAll(5);
            benchmark::DoNotOptimize(answer);
        }
    }
}
BENCHMARK(BM_FanOutToFiftyPhones)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    // Memory: the process with a running server, then with 50 polls waiting on it.
    auto server = startServer();
    server->publish({});
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const long before = residentKiB();
    auto phones = openPolls(*server, 1);
    const long during = residentKiB();
    std::printf("resident memory: %ld KiB idle server, %ld KiB with %d waiting polls (+%ld KiB)\n",
                before, during, kPhones, during - before);
    return 0;
}
