// Quitting the headless face with SIGTERM or SIGINT at any moment after its first line, while a
// usage fetch is in flight, phones hold long polls and ports are taken: the real executable,
// several at a time, on loopback only.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <random>
#include <thread>

#include "support/child_process.h"
#include "support/phone_client.h"
#include "support/scratch_folder.h"

namespace brimwick {
namespace {

using testing::ChildProcess;

// A socket on 127.0.0.1 (`listening`: that listens and never accepts, so connections wait in
// its backlog unanswered until it is closed, which resets them). Closed with the object.
class LoopbackSocket {
  public:
    LoopbackSocket(std::uint16_t port, bool listening) {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        auto* raw = reinterpret_cast<sockaddr*>(&address);
        const bool ok = listening ? ::bind(fd_, raw, length) == 0 && ::listen(fd_, 16) == 0
                                  : ::connect(fd_, raw, length) == 0;
        if (!ok) close();
        if (ok && listening) ::getsockname(fd_, raw, &length);
        port_ = ntohs(address.sin_port);
    }
    ~LoopbackSocket() { close(); }

    bool ok() const { return fd_ >= 0; }
    std::uint16_t port() const { return port_; }
    void send(const std::string& bytes) { (void)!::write(fd_, bytes.data(), bytes.size()); }
    // Everything until the peer closes (or resets) the connection.
    std::string readAll() {
        std::string all;
        char buffer[4096];
        for (ssize_t n; (n = ::read(fd_, buffer, sizeof buffer)) > 0;) all.append(buffer, n);
        return all;
    }
    // Any thread.
    void close() {
        if (const int fd = fd_.exchange(-1); fd >= 0) ::close(fd);
    }

  private:
    std::atomic<int> fd_ = -1;
    std::uint16_t port_ = 0;
};

constexpr const char* kPhoneToken = "quit-test-phone";

// A paired phone following the status: each answer's version goes into the next poll, so a
// poll is held most of the time. Ends when the server closes without an answer, and calls `left`
// right then.
void followStatus(std::uint16_t port, LoopbackSocket* left, std::chrono::microseconds lag) {
    std::string version = "0";
    for (;;) {
        LoopbackSocket poll(port, false);
        if (!poll.ok()) return;
        poll.send("GET /status?v=" + version + " HTTP/1.1\r\nAuthorization: Bearer " + kPhoneToken +
                  "\r\n\r\n");
        const std::string answer = poll.readAll();
        const auto at = answer.find("\"version\":");
        if (at == std::string::npos) {
            std::this_thread::sleep_for(lag);
            return left->close();
        }
        version = std::to_string(std::atoll(answer.c_str() + at + 10));
    }
}

// One start and quit. Gives nothing when it ended with status 0, else what went wrong.
std::optional<std::string> startAndQuit(int run, std::mt19937& random) {
    const testing::ScratchFolder scratch("brimwick-quit");
    const auto& home = scratch.path();
    std::filesystem::create_directories(home / ".claude");
    std::filesystem::create_directories(home / "config/brimwick");
    std::ofstream(home / ".claude/.credentials.json")
        << R"({"claudeAiOauth":{"accessToken":"quit-test"}})";
    std::ofstream(home / "config/brimwick/preferences.json")
        << R"({"phoneEnabled":true,"phoneDevices":{")" << kPhoneToken << R"(":"Test phone"}})";

    LoopbackSocket usage(0, true);
    // Every third run finds its phone port taken; the hook port is taken by whichever sibling
    // started first.
    const std::uint16_t phonePort = testing::freeLoopbackPort();
    std::optional<LoopbackSocket> phonePortHolder;
    if (run % 3 == 2) phonePortHolder.emplace(phonePort, true);

    ChildProcess app({BRIMWICK_BINARY, "--headless"},
                     {{"HOME", home.string()},
                      {"XDG_CONFIG_HOME", (home / "config").string()},
                      {"BRIMWICK_PHONE_PORT", std::to_string(phonePort)},
                      {"BRIMWICK_USAGE_URL",
                       "http://127.0.0.1:" + std::to_string(usage.port()) + "/api/oauth/usage"},
                      {"no_proxy", "*"},
                      {"NO_PROXY", "*"},
                      {"DISPLAY", ""},
                      // Freed memory is overwritten at once, so that a late use of it fails.
                      {"MALLOC_PERTURB_", "165"}});
    if (!app.readLine()) return "no first line";

    // The phone server goes early in the quit; the phone that sees it go ends the usage fetch
    // (the server resets it), so that its answer comes while the process is quitting.
    const std::chrono::microseconds lag(std::uniform_int_distribution<>(250, 550)(random));
    std::jthread phones[] = {std::jthread(followStatus, phonePort, &usage, lag),
                             std::jthread(followStatus, phonePort, &usage, lag)};
    std::this_thread::sleep_for(
        std::chrono::microseconds(std::uniform_int_distribution<>(0, 300'000)(random)));
    const int signal = run % 2 ? SIGINT : SIGTERM;
    const auto status = app.stop(signal);
    if (!status) app.stop(SIGKILL);
    usage.close();
    phonePortHolder.reset();  // lets go of a phone waiting there
    for (auto& phone : phones) phone.join();
    if (status == 0) return std::nullopt;
    std::string lines;
    for (const auto& line : app.lines()) lines += "\n  " + line;
    return "run " + std::to_string(run) + " (" + (signal == SIGINT ? "SIGINT" : "SIGTERM") +
           "): " + (status ? "status " + std::to_string(*status) : "did not end") + lines;
}

TEST(HeadlessQuitTest, SigtermAndSigintEndItWithStatusZeroAtAnyMomentAfterTheFirstLine) {
    const char* wanted = std::getenv("BRIMWICK_QUIT_RUNS");
    const int runs = wanted && std::atoi(wanted) > 0 ? std::atoi(wanted) : 32;
    std::atomic<int> next = 0;
    std::mutex mutex;
    std::vector<std::string> failures;
    std::vector<std::thread> workers;
    for (int worker = 0; worker < 4; ++worker) {
        workers.emplace_back([&, worker] {
            std::mt19937 random(std::random_device{}() + worker);
            for (int run; (run = next++) < runs;) {
                if (auto failure = startAndQuit(run, random)) {
                    std::lock_guard lock(mutex);
                    failures.push_back(*failure);
                }
            }
        });
    }
    for (auto& worker : workers) worker.join();
    for (const auto& failure : failures) ADD_FAILURE() << failure;
}

}  // namespace
}  // namespace brimwick
