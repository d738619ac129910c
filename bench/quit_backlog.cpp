// How long SIGTERM takes to end the headless app while its main thread has a backlog of hook
// events. The app's output is read slowly (4 KiB every 2 ms), as a busy terminal would, so its
// main thread, which prints the session list after every change, falls behind the hook server.
// The hook port is flooded from 32 clients with prompts and tool uses of 200 sessions in turn,
// so that every event changes the list; the server answers each post at once and queues its
// event. SIGTERM goes the moment the last post is answered, the output is then read as fast as
// it comes, and the exit is timed. Prints each round and the slowest; exits 1 when a round did
// not end with status 0.
//
// With "desktop" the desktop face runs instead, on the X display given by DISPLAY (an X server
// started with -noreset, so that it takes the next round's connection at once); it prints
// nothing, so there the flood alone makes the backlog.
//
// Needs the hook port 47821: run it in a private network namespace (bench/quit_backlog.sh).
// Usage: quit_backlog [rounds (3)] [hooks per round (50000)] [brimwick binary] [desktop]
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "load_driver.h"

namespace {

namespace fs = std::filesystem;
using Steady = std::chrono::steady_clock;

// Starts the app with its standard output on a pipe; gives its pid and the read end.
std::pair<pid_t, int> startApp(const std::string& binary, const fs::path& home, bool desktop) {
    int output[2];
    if (::pipe2(output, O_CLOEXEC) != 0) return {-1, -1};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setenv("HOME", home.c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (home / ".config").c_str(), 1);
        // Nothing listens there: the usage fetch fails at once.
        ::setenv("BRIMWICK_USAGE_URL", "http://127.0.0.1:9/api/oauth/usage", 1);
        if (!desktop) ::setenv("DISPLAY", "", 1);
        ::dup2(output[1], 1);
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 2);
        ::execl(binary.c_str(), binary.c_str(), desktop ? nullptr : "--headless", nullptr);
        ::_exit(127);
    }
    ::close(output[1]);
    return {pid, output[0]};
}

// 200 sessions in a folder each; request i and i + 200 move the same session between a prompt
// and a tool use.
std::vector<std::string> changingHooks() {
    std::vector<std::string> requests;
    for (const char* event : {"UserPromptSubmit", "PreToolUse"}) {
        for (int session = 0; session < 200; ++session) {
            const std::string body = R"({"hook_event_name":")" + std::string(event) +
                                     R"(","session_id":"flood-)" + std::to_string(session) +
                                     R"(","cwd":"/home/user/src/project-)" +
                                     std::to_string(session) + R"(","tool_name":"Bash"})";
            requests.push_back(
                "POST /hook HTTP/1.1\r\nHost: 127.0.0.1:47821\r\n"
                "Content-Type: application/json\r\nContent-Length: " +
                std::to_string(body.size()) + "\r\n\r\n" + body);
        }
    }
    return requests;
}

bool hookPortAnswers() {
    const auto result =
        brimwick::bench::driveLoad(47821, brimwick::bench::typicalHookRequest(), 1, 1);
    return result.failed == 0 && !result.latencies.empty();
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 3;
    const int hooks = argc > 2 ? std::atoi(argv[2]) : 50'000;
    const std::string binary = argc > 3 && *argv[3] ? argv[3] : BRIMWICK_BINARY;
    const bool desktop = argc > 4 && std::string(argv[4]) == "desktop";
    const auto requests = changingHooks();
    double slowest = 0;
    bool allClean = true;
    for (int round = 1; round <= rounds; ++round) {
        char pattern[] = "/tmp/brimwick-quit-backlog-XXXXXX";
        const fs::path home = ::mkdtemp(pattern);
        const auto [pid, output] = startApp(binary, home, desktop);
        std::atomic<bool> slow = true;
        std::thread reader([output = output, &slow] {
            char buffer[4096];
            while (::read(output, buffer, sizeof buffer) > 0) {
                if (slow) std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        });
        int status = 0;
        while (!hookPortAnswers()) {
            if (::waitpid(pid, &status, WNOHANG) == pid) {
                std::fprintf(stderr, "round %d: the app ended before it listened\n", round);
                reader.join();
                ::close(output);
                fs::remove_all(home);
                return 1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }

        const auto flood = brimwick::bench::driveLoadOf(
            47821,
            [&requests](int i) -> const std::string& { return requests[i % requests.size()]; }, 32,
            hooks);
        const auto signalled = Steady::now();
        ::kill(pid, SIGTERM);
        slow = false;
        ::waitpid(pid, &status, 0);
        const double seconds = std::chrono::duration<double>(Steady::now() - signalled).count();
        reader.join();
        ::close(output);
        fs::remove_all(home);

        const bool clean = WIFEXITED(status) && WEXITSTATUS(status) == 0;
        allClean = allClean && clean;
        slowest = std::max(slowest, seconds);
        std::printf("round %d: %zu hooks answered in %.2f s (%.0f/s), SIGTERM to exit %.3f s, %s\n",
                    round, flood.latencies.size(), flood.seconds, flood.requestsPerSecond(),
                    seconds, clean ? "status 0" : "NOT status 0");
    }
    std::printf("slowest exit after SIGTERM: %.3f s\n", slowest);
    return allClean ? 0 : 1;
}
