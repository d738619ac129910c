// Loopback HTTP load generator for the benchmarks: a fixed number of concurrent clients, one
// connection per request as curl makes them, every request's latency kept for percentiles.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace brimwick::bench {

// A hook post as curl sends it: its headers and a PreToolUse payload, `total` bytes in all
// (padded with JSON white space inside the object).
inline std::string typicalHookRequest(std::size_t total = 1024) {
    const std::string body =
        R"({"session_id":"0b9f3c1e-7d2a-4e58-9a61-2f4c8d0e5b17","transcript_path":"/home/user/.claude/projects/-home-user-src-weather/0b9f3c1e-7d2a-4e58-9a61-2f4c8d0e5b17.jsonl","cwd":"/home/user/src/weather","permission_mode":"default","hook_event_name":"PreToolUse","tool_name":"Bash","tool_input":{"command":"make build && ./build/weather --city Lisbon --units metric","description":"Build the project and run the weather tool for Lisbon"},"tool_use_id":"toolu_01AbCdEfGhIjKlMnOpQrStUv"})";
    const auto build = [](const std::string& b) {
        return "POST /hook HTTP/1.1\r\nHost: 127.0.0.1:47821\r\nUser-Agent: curl/7.88.1\r\n"
               "Accept: */*\r\nContent-Type: application/json\r\nX-Claude-PID: 41327\r\n"
               "Content-Length: " +
               std::to_string(b.size()) + "\r\n\r\n" + b;
    };
    const std::size_t shortBy = total - std::min(total, build(body).size());
    return build(body.substr(0, body.size() - 1) + std::string(shortBy, ' ') + "}");
}

struct LoadResult {
    std::vector<double> latencies;  // microseconds, one per answered request, sorted
    double seconds = 0;             // wall time from the first connect to the last answer
    long failed = 0;                // refused, reset, or answered with something other than 2xx

    double requestsPerSecond() const { return seconds > 0 ? latencies.size() / seconds : 0; }
    double mean() const {
        double sum = 0;
        for (const double l : latencies) sum += l;
        return latencies.empty() ? 0 : sum / latencies.size();
    }
    double percentile(double p) const {
        if (latencies.empty()) return 0;
        return latencies[std::min(latencies.size() - 1,
                                  static_cast<std::size_t>(p * latencies.size()))];
    }
};

// Sends `requests` requests to 127.0.0.1:`port`, keeping `clients` connections in flight;
// `requestFor(i)` gives the bytes of the i-th, which must stay valid until the call returns. A
// request is done when the server closes the connection (both servers compared here close after
// answering). One thread drives every connection through epoll, as wrk does, so the clients do
// not crowd the cores with threads of their own. Blocking; gives up when nothing happens for
// five seconds.
template <typename RequestFor>
LoadResult driveLoadOf(std::uint16_t port, RequestFor requestFor, int clients, int requests) {
    using Clock = std::chrono::steady_clock;
    struct InFlight {
        int fd = -1;
        Clock::time_point started;
        const std::string* request = nullptr;
        std::size_t sent = 0;
        char head[16] = {};  // the start of the status line: "HTTP/1.1 204"
        std::size_t headLength = 0;
    };
    const auto openConnection = [port] {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);  // EINPROGRESS
        return fd;
    };

    LoadResult result;
    result.latencies.reserve(static_cast<std::size_t>(requests));
    const int epoll = ::epoll_create1(EPOLL_CLOEXEC);
    std::vector<InFlight> slots(static_cast<std::size_t>(clients));
    int started = 0;
    long finished = 0;
    const auto launch = [&](std::size_t slot) {
        auto& s = slots[slot];
        s = InFlight{};
        s.fd = openConnection();
        s.started = Clock::now();
        s.request = &requestFor(started);
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
    while (finished < requests) {
        const int n = ::epoll_wait(epoll, events, 64, 5000);
        if (n <= 0) break;
        for (int e = 0; e < n; ++e) {
            const auto slot = static_cast<std::size_t>(events[e].data.u64);
            auto& s = slots[slot];
            const std::string& request = *s.request;
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
            if (!(events[e].events & (EPOLLIN | EPOLLHUP | EPOLLERR))) continue;
            ssize_t r;
            while ((r = ::recv(s.fd, buffer, sizeof buffer, 0)) > 0) {
                const auto keep = std::min(sizeof s.head - s.headLength, std::size_t(r));
                std::copy_n(buffer, keep, s.head + s.headLength);
                s.headLength += keep;
            }
            if (r < 0 && errno == EAGAIN) continue;
            // "HTTP/1.1 2": answered with success; anything else counts as a failure.
            const bool ok = r == 0 && s.headLength >= 10 && std::string(s.head, 9) == "HTTP/1.1 " &&
                            s.head[9] == '2';
            if (ok) {
                result.latencies.push_back(
                    std::chrono::duration<double, std::micro>(Clock::now() - s.started).count());
            } else {
                ++result.failed;
            }
            ++finished;
            ::close(s.fd);
            s.fd = -1;
            if (started < requests) launch(slot);
        }
    }
    result.seconds = std::chrono::duration<double>(Clock::now() - begin).count();
    for (auto& s : slots) {
        if (s.fd >= 0) ::close(s.fd);  // only after giving up
    }
    ::close(epoll);
    std::sort(result.latencies.begin(), result.latencies.end());
    return result;
}

// `requests` copies of `request`.
inline LoadResult driveLoad(std::uint16_t port, const std::string& request, int clients,
                            int requests) {
    return driveLoadOf(
        port, [&request](int) -> const std::string& { return request; }, clients, requests);
}

}  // namespace brimwick::bench
