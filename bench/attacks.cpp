// Attacks: what a hostile peer can do to Brimwick, and how long a legitimate hook or a paired
// phone waits meanwhile. Three runs, all on loopback:
// 1. Hook port: a local process holds 256 idle connections and opens a new one as soon as one
//    is closed; a hook is posted every 50 ms.
// 2. Phone port: another address (127.0.0.2) holds 64 idle connections the same way; a paired
//    phone at 127.0.0.1 asks for the status every 100 ms.
// 3. Session flood: 10,000 hook events for 5,000 session ids, as fast as 8 clients can post them,
//    with permission hooks posted during the burst; the whole application runs in this process.
// It prints percentiles of each wait and exits 1 when a legitimate request was not answered.
// Aims: a hook within 100 ms, a phone within 1 s, a permission hook within 100 ms.
//
// Usage: attacks [seconds per run]     (default 10)
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/app.h"
#include "app/system_environment.h"
#include "hooks/hook_server.h"
#include "phone/phone_server.h"
#include "platform/asio_main_queue.h"

namespace brimwick {
namespace {

namespace fs = std::filesystem;
using Steady = std::chrono::steady_clock;

double secondsSince(Steady::time_point start) {
    return std::chrono::duration<double>(Steady::now() - start).count();
}

int connectFrom(const char* source, std::uint16_t port, bool blocking) {
    const int fd =
        ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | (blocking ? 0 : SOCK_NONBLOCK), 0);
    if (fd < 0) return -1;
    sockaddr_in from{};
    from.sin_family = AF_INET;
    ::inet_pton(AF_INET, source, &from.sin_addr);
    ::bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0 && errno != EINPROGRESS) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// One request on a connection of its own; the answer's status code, 0 when none came.
int roundTrip(std::uint16_t port, const std::string& request, double timeoutSeconds = 30) {
    const int fd = connectFrom("127.0.0.1", port, true);
    if (fd < 0) return 0;
    timeval timeout{};
    timeout.tv_sec = static_cast<long>(timeoutSeconds);
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    std::string answer;
    char buffer[4096];
    ssize_t n;
    while ((n = ::recv(fd, buffer, sizeof buffer, 0)) > 0) answer.append(buffer, n);
    ::close(fd);
    return answer.rfind("HTTP/1.1 ", 0) == 0 ? std::atoi(answer.c_str() + 9) : 0;
}

std::string hookPost(const std::string& path, const std::string& body) {
    return "POST " + path +
           " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + body;
}

// Keeps `count` idle connections from `source` open, opening a new one whenever one is closed.
class Crowd {
  public:
    Crowd(const char* source, std::uint16_t port, int count)
        : thread_([=, this] { run(source, port, count); }) {}
    ~Crowd() {
        stop_ = true;
        thread_.join();
    }
    long opened() const { return opened_; }

  private:
    void run(const char* source, std::uint16_t port, int count) {
        const int epoll = ::epoll_create1(EPOLL_CLOEXEC);
        std::set<int> open;
        while (!stop_) {
            while (static_cast<int>(open.size()) < count) {
                const int fd = connectFrom(source, port, false);
                if (fd < 0) break;
                epoll_event event{};
                event.events = EPOLLIN | EPOLLRDHUP;
                event.data.fd = fd;
                ::epoll_ctl(epoll, EPOLL_CTL_ADD, fd, &event);
                open.insert(fd);
                ++opened_;
            }
            epoll_event events[64];
            const int n = ::epoll_wait(epoll, events, 64, 20);
            for (int i = 0; i < n; ++i) {
                ::close(events[i].data.fd);  // closed by the server: replace it
                open.erase(events[i].data.fd);
            }
        }
        for (const int fd : open) ::close(fd);
        ::close(epoll);
    }

    std::atomic<bool> stop_{false};
    std::atomic<long> opened_{0};
    std::thread thread_;
};

struct Waits {
    std::vector<double> seconds;
    long unanswered = 0;

    void print(const char* what) {
        std::sort(seconds.begin(), seconds.end());
        const auto at = [&](double p) {
            return seconds.empty()
                       ? 0.0
                       : seconds[std::min(seconds.size() - 1,
                                          static_cast<std::size_t>(p * seconds.size()))];
        };
        std::printf("  %s: %zu answered, %ld not; p50 %.1f ms, p99 %.1f ms, max %.1f ms\n", what,
                    seconds.size(), unanswered, at(0.5) * 1e3, at(0.99) * 1e3,
                    seconds.empty() ? 0.0 : seconds.back() * 1e3);
    }
};

// Sends `request` every `period` seconds for `seconds` and times each answer.
Waits timeRequests(std::uint16_t port, const std::string& request, double period, double seconds,
                   int expectedStatus) {
    Waits waits;
    const auto start = Steady::now();
    while (secondsSince(start) < seconds) {
        const auto sent = Steady::now();
        if (roundTrip(port, request) == expectedStatus) {
            waits.seconds.push_back(secondsSince(sent));
        } else {
            ++waits.unanswered;
        }
        std::this_thread::sleep_for(std::chrono::duration<double>(period));
    }
    return waits;
}

const std::string kEvent =
    R"({"hook_event_name":"PreToolUse","session_id":"legit","cwd":"/src/app","tool_name":"Bash"})";

bool hookPortCrowd(double seconds) {
    HookServer server(HookServer::Callbacks{}, HookServer::Options{.port = 0});
    if (!server.start()) return false;
    Crowd crowd("127.0.0.1", server.port(), 256);
    std::this_thread::sleep_for(std::chrono::seconds(1));  // let the crowd fill the server
    auto waits = timeRequests(server.port(), hookPost("/hook", kEvent), 0.05, seconds, 204);
    std::printf("hook port, 256 idle connections reopened as they close (%ld opened):\n",
                crowd.opened());
    waits.print("hook posts");
    return waits.unanswered == 0;
}

bool phonePortCrowd(double seconds) {
    PhoneServer::Options options;
    options.port = 0;
    options.address = "127.0.0.1";
    SystemClock clock;
    auto server = PhoneServer::create("Bench", {"phone-token"}, "", {}, clock, options);
    if (!server->start()) return false;
    server->publish(nlohmann::json::object());
    Crowd crowd("127.0.0.2", server->port(), 64);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const std::string status =
        "GET /status HTTP/1.1\r\nHost: 127.0.0.1\r\nAuthorization: Bearer phone-token\r\n\r\n";
    auto waits = timeRequests(server->port(), status, 0.1, seconds, 200);
    std::printf("phone port, 64 idle connections from 127.0.0.2 (%ld opened):\n", crowd.opened());
    waits.print("phone status requests");
    return waits.unanswered == 0;
}

class QuietFace final : public AppFace {
  public:
    void rebuildMenu() override {}
    void showIconState(std::optional<BotState>) override {}
    void alert(const std::string&, const std::string&) override {}
    void beep() override {}
};

bool sessionFlood(const fs::path& scratch) {
    SystemEnvironment system((scratch / "preferences.json").string());
    asio::io_context context;
    auto work = asio::make_work_guard(context);
    AsioMainQueue queue(context);
    QuietFace face;
    AppEnvironment env = system.environment(queue);
    env.usageFetch = [](BackgroundTask&, std::function<void(UsageOutcome)> done) {
        done(UsageError::of(UsageError::Kind::signedOut));
    };
    env.phone.localAddress = [] { return std::optional<std::string>(); };
    env.phone.hostName = "Bench";
    env.home = scratch.string();
    env.hookServer.port = 0;
    auto app = App::launch(env, face);
    std::thread mainThread([&context] { context.run(); });
    const auto port = app->server() ? app->server()->port() : 0;

    constexpr int kEvents = 10'000, kSessions = 5'000, kClients = 8;
    std::atomic<int> next{0};
    std::atomic<long> failed{0};
    std::vector<std::thread> clients;
    const auto start = Steady::now();
    for (int c = 0; c < kClients; ++c) {
        clients.emplace_back([&] {
            for (int i; (i = next++) < kEvents;) {
                const std::string body =
                    R"({"hook_event_name":"UserPromptSubmit","session_id":"flood-)" +
                    std::to_string(i % kSessions) + R"(","cwd":"/src/flood","prompt":"n )" +
                    std::to_string(i) + "\"}";
                if (roundTrip(port, hookPost("/hook", body)) != 204) ++failed;
            }
        });
    }
    Waits permission;
    while (next < kEvents) {
        const auto sent = Steady::now();
        const std::string body =
            R"({"hook_event_name":"PermissionRequest","session_id":"legit","tool_name":"Bash"})";
        if (roundTrip(port, hookPost("/permission", body)) == 204) {
            permission.seconds.push_back(secondsSince(sent));
        } else {
            ++permission.unanswered;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    for (auto& client : clients) client.join();
    const double burst = secondsSince(start);
    // The main thread has caught up once a task posted now runs.
    std::atomic<bool> caughtUp{false};
    queue.post([&] { caughtUp = true; });
    while (!caughtUp) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::printf(
        "session flood, %d events for %d sessions from %d clients in %.2f s "
        "(%ld not answered 204); main thread caught up %.2f s after the start:\n",
        kEvents, kSessions, kClients, burst, failed.load(), secondsSince(start));
    permission.print("permission hooks during the burst");
    context.stop();
    mainThread.join();
    return permission.unanswered == 0 && failed == 0;
}

}  // namespace
}  // namespace brimwick

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
    std::string pattern = (std::filesystem::temp_directory_path() / "brimwick-attacks-XXXXXX");
    if (!::mkdtemp(pattern.data())) return 2;
    bool ok = brimwick::hookPortCrowd(seconds);
    ok = brimwick::phonePortCrowd(seconds) && ok;
    ok = brimwick::sessionFlood(pattern) && ok;
    std::filesystem::remove_all(pattern);
    return ok ? 0 : 1;
}
