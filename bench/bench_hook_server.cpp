// Hook server costs: the request parser alone, and the whole round trip of one hook post over
// loopback (one connection per request, as curl does it) with 1 and 32 concurrent clients.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
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

// The round trip is measured by hand: percentiles need every request's sample. One client
// thread drives all concurrent connections through epoll, as a load generator like wrk does,
// so the clients do not crowd the two cores with their own threads.
namespace {

using Clock = std::chrono::steady_clock;

struct InFlight {
    int fd = -1;
    Clock::time_point started;
    std::size_t sent = 0;
};

int openConnection(std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);  // EINPROGRESS
    return fd;
}

void runRoundTrip(int clients, int requests) {
    using namespace brimwick;
    std::atomic<long> delivered{0};
    HookServer::Callbacks callbacks;
    callbacks.onEvent = [&](HookEvent) { delivered.fetch_add(1); };
    HookServer::Options options;
    options.port = 0;
    HookServer server(callbacks, options);
    if (!server.start()) return;
    const std::string request = typicalRequest();

    const int epoll = ::epoll_create1(EPOLL_CLOEXEC);
    std::vector<InFlight> slots(static_cast<std::size_t>(clients));
    std::vector<double> latencies;
    latencies.reserve(static_cast<std::size_t>(requests));
    int started = 0;
    const auto launch = [&](std::size_t slot) {
        auto& s = slots[slot];
        s.fd = openConnection(server.port());
        s.started = Clock::now();
        s.sent = 0;
        epoll_event event{};
        event.events = EPOLLOUT | EPOLLIN;
        event.data.u64 = slot;
        ::epoll_ctl(epoll, EPOLL_CTL_ADD, s.fd, &event);
        ++started;
    };
    const auto begin = Clock::now();
    for (std::size_t i = 0; i < slots.size() && started < requests; ++i) launch(i);
    epoll_event events[64];
    char buffer[4096];
    while (latencies.size() < static_cast<std::size_t>(requests)) {
        const int n = ::epoll_wait(epoll, events, 64, 5000);
        if (n <= 0) break;
        for (int e = 0; e < n; ++e) {
            const auto slot = static_cast<std::size_t>(events[e].data.u64);
            auto& s = slots[slot];
            if (s.sent < request.size() && (events[e].events & EPOLLOUT)) {
                const ssize_t w =
                    ::send(s.fd, request.data() + s.sent, request.size() - s.sent, MSG_NOSIGNAL);
                if (w > 0) s.sent += static_cast<std::size_t>(w);
                if (s.sent == request.size()) {
                    epoll_event event{};
                    event.events = EPOLLIN;
                    event.data.u64 = slot;
                    ::epoll_ctl(epoll, EPOLL_CTL_MOD, s.fd, &event);
                }
            }
            if (events[e].events & (EPOLLIN | EPOLLHUP | EPOLLERR)) {
                ssize_t r;
                while ((r = ::recv(s.fd, buffer, sizeof buffer, 0)) > 0) {
                }
                if (r == 0 || (r < 0 && errno != EAGAIN)) {
                    latencies.push_back(
                        std::chrono::duration<double, std::micro>(Clock::now() - s.started)
                            .count());
                    ::close(s.fd);
                    if (started < requests) launch(slot);
                }
            }
        }
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - begin).count();
    ::close(epoll);
    std::sort(latencies.begin(), latencies.end());
    const auto pct = [&](double p) {
        return latencies[std::min(latencies.size() - 1,
                                  static_cast<std::size_t>(p * latencies.size()))];
    };
    std::printf(
        "round trip, %2d concurrent: %8.0f requests/s  p50 %6.0f us  p99 %6.0f us  "
        "(%zu requests, %ld delivered)\n",
        clients, latencies.size() / seconds, pct(0.50), pct(0.99), latencies.size(),
        delivered.load());
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    runRoundTrip(1, 10000);
    runRoundTrip(32, 50000);
    return 0;
}
