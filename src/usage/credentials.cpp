#include "usage/credentials.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <nlohmann/json.hpp>

#include "core/atomic_file.h"
#include "core/json_input.h"
#include "platform/home.h"

extern char** environ;

namespace brimwick {
namespace {

constexpr std::size_t maxKeychainBytes = 1024 * 1024;
// After the time-out the tool gets this long to end on SIGTERM before SIGKILL, and after SIGKILL
// this long again before a pipe held open by an escaped grandchild is abandoned.
constexpr double killGraceSeconds = 1.0;

using SteadyClock = std::chrono::steady_clock;

class Fd {
  public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() { reset(); }
    int get() const { return fd_; }
    void reset() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

  private:
    int fd_;
};

int millisecondsUntil(SteadyClock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - SteadyClock::now());
    return static_cast<int>(std::max<long long>(0, left.count()));
}

// Starts `tool` with the lookup arguments in a process group of its own, so the time-out can
// end anything it started too. Gives the pid or -1.
pid_t spawnLookup(const std::string& tool, int stdoutFd) {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, stdoutFd, STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawnattr_setpgroup(&attributes, 0);
    // Our threads block SIGINT and SIGTERM (a signal thread takes them); the tool must not
    // inherit that, or the time-out's SIGTERM would not reach it.
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK);

    std::string arg0 = tool;
    std::string find = "find-generic-password", service = "-s", item = "Claude Code-credentials",
                password = "-w";
    char* argv[] = {arg0.data(), find.data(),     service.data(),
                    item.data(), password.data(), nullptr};
    pid_t pid = -1;
    const int failed = posix_spawn(&pid, tool.c_str(), &actions, &attributes, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    return failed == 0 ? pid : -1;
}

}  // namespace

std::string Credentials::defaultFile() {
    return homeDirectory() + "/.claude/.credentials.json";
}

std::optional<Credentials> Credentials::load(const CredentialSources& sources,
                                             std::stop_token stop) {
    if (auto bytes = keychain(sources.keychainTool, sources.keychainTimeout, stop)) {
        if (auto credentials = parse(*bytes)) return credentials;
    }
    if (stop.stop_requested()) return std::nullopt;
    const auto file = readFile(sources.file.empty() ? defaultFile() : sources.file);
    if (!file.ok()) return std::nullopt;
    return parse(*file);
}

std::optional<std::string> Credentials::keychain(const std::string& tool, double timeoutSeconds,
                                                 std::stop_token stop) {
    if (::access(tool.c_str(), X_OK) != 0 || stop.stop_requested()) return std::nullopt;

    int ends[2];
    // Close-on-exec, so a process started by another thread meanwhile cannot hold our pipe open.
    if (::pipe2(ends, O_CLOEXEC) != 0) return std::nullopt;
    Fd readEnd(ends[0]);
    Fd writeEnd(ends[1]);
    const pid_t pid = spawnLookup(tool, writeEnd.get());
    writeEnd.reset();
    if (pid < 0) return std::nullopt;

    // The watchdog lives in this loop: one poll over the pipe and the process, with deadlines
    // for SIGTERM, SIGKILL and finally giving up on the pipe.
    // A descriptor that becomes readable when the tool exits (Linux 5.3+); glibc's wrapper is
    // not declared for C++, so the system call is made directly.
    Fd processFd(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
    // A stop request wakes the poll below; the tool is then killed at once.
    Fd stopFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    std::stop_callback onStop(stop, [&stopFd] {
        const std::uint64_t one = 1;
        (void)!::write(stopFd.get(), &one, sizeof one);
    });
    std::string output;
    bool overflow = false;
    bool pipeOpen = true;
    bool exited = false;
    int status = 0;
    int stage = 0;  // 0 running, 1 terminated, 2 killed
    auto deadline = SteadyClock::now() + std::chrono::duration_cast<SteadyClock::duration>(
                                             std::chrono::duration<double>(timeoutSeconds));
    const auto grace = std::chrono::duration_cast<SteadyClock::duration>(
        std::chrono::duration<double>(killGraceSeconds));

    while (pipeOpen || !exited) {
        if (!exited && ::waitpid(pid, &status, WNOHANG) == pid) exited = true;
        if (!pipeOpen && exited) break;
        if (stop.stop_requested()) {
            ::kill(-pid, SIGKILL);
            stage = 2;
            break;
        }

        if (SteadyClock::now() >= deadline) {
            if (stage == 0 && !exited) {
                ::kill(-pid, SIGTERM);
                stage = 1;
                deadline += grace;
            } else if (stage <= 1 && !exited) {
                ::kill(-pid, SIGKILL);
                stage = 2;
                deadline += grace;
            } else if (stage < 2 && exited) {
                // The tool ended but something it started still holds the pipe.
                ::kill(-pid, SIGKILL);
                stage = 2;
                deadline += grace;
            } else {
                break;
            }
            continue;
        }

        pollfd fds[3];
        nfds_t count = 0;
        if (pipeOpen) fds[count++] = {readEnd.get(), POLLIN, 0};
        const bool watchProcess = !exited && processFd.get() >= 0;
        if (watchProcess) fds[count++] = {processFd.get(), POLLIN, 0};
        if (stopFd.get() >= 0) fds[count++] = {stopFd.get(), POLLIN, 0};
        int wait = millisecondsUntil(deadline);
        // Without a process descriptor the exit is noticed by checking now and then.
        if (!exited && processFd.get() < 0) wait = std::min(wait, 20);
        const int ready = ::poll(fds, count, wait);
        if (ready < 0 && errno != EINTR) break;
        if (ready <= 0 || !pipeOpen) continue;
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            char buffer[4096];
            const ssize_t got = ::read(readEnd.get(), buffer, sizeof buffer);
            if (got > 0) {
                if (output.size() + static_cast<size_t>(got) > maxKeychainBytes) {
                    overflow = true;
                } else {
                    output.append(buffer, static_cast<size_t>(got));
                }
            } else if (got == 0 || errno != EINTR) {
                pipeOpen = false;
            }
        }
    }
    readEnd.reset();
    if (!exited) {
        ::kill(-pid, SIGKILL);
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }

    if (stage > 0 || overflow) return std::nullopt;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || output.empty()) return std::nullopt;
    return output;
}

std::optional<Credentials> Credentials::parse(std::string_view bytes) {
    const auto document = parseJsonInput(bytes);
    if (document.is_discarded() || !document.is_object()) return std::nullopt;
    const auto oauth = document.find("claudeAiOauth");
    if (oauth == document.end() || !oauth->is_object()) return std::nullopt;
    const auto token = oauth->find("accessToken");
    if (token == oauth->end() || !token->is_string()) return std::nullopt;

    Credentials credentials;
    credentials.accessToken = token->get<std::string>();
    if (credentials.accessToken.empty()) return std::nullopt;
    // The token goes into a header line; a control character there would break or forge it.
    if (std::any_of(credentials.accessToken.begin(), credentials.accessToken.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; })) {
        return std::nullopt;
    }
    const auto expiry = oauth->find("expiresAt");
    if (expiry != oauth->end() && expiry->is_number()) {
        credentials.expiresAt = expiry->get<double>() / 1000.0;
    }
    return credentials;
}

}  // namespace brimwick
