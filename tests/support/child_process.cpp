#include "support/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <thread>
#include <utility>

extern char** environ;

namespace brimwick::testing {
namespace {

using Clock = std::chrono::steady_clock;

Clock::time_point deadlineAfter(double seconds) {
    return Clock::now() +
           std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

int millisecondsLeft(Clock::time_point deadline) {
    return static_cast<int>(std::max<long long>(
        0, std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count()));
}

// Forks and runs `argv` with the test's environment plus `extra`; `plumb` runs in the child
// before exec, to arrange its standard streams.
pid_t spawn(std::vector<std::string> argv, const std::map<std::string, std::string>& extra,
            const std::function<void()>& plumb) {
    std::map<std::string, std::string> all;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        if (const auto eq = entry.find('='); eq != std::string::npos)
            all[entry.substr(0, eq)] = entry.substr(eq + 1);
    }
    for (const auto& [key, value] : extra) all[key] = value;
    std::vector<std::string> environment;
    for (const auto& [key, value] : all) environment.push_back(key + "=" + value);
    std::vector<char*> args, envp;
    for (auto& s : argv) args.push_back(s.data());
    for (auto& s : environment) envp.push_back(s.data());
    args.push_back(nullptr);
    envp.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        plumb();
        ::execve(args[0], args.data(), envp.data());
        ::_exit(127);
    }
    return pid;
}

int decodeStatus(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
}

}  // namespace

ChildProcess::ChildProcess(std::vector<std::string> argv, std::map<std::string, std::string> env,
                           bool mergeStderr) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return;
    pid_ = spawn(std::move(argv), env, [&] {
        ::dup2(out[1], STDOUT_FILENO);
        if (mergeStderr) ::dup2(out[1], STDERR_FILENO);
        ::dup2(::open("/dev/null", O_RDONLY), STDIN_FILENO);
    });
    ::close(out[1]);
    out_ = out[0];
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) ::close(out_);
}

std::optional<std::string> ChildProcess::readLine(double timeoutSeconds) {
    const auto deadline = deadlineAfter(timeoutSeconds);
    for (;;) {
        if (const auto newline = pending_.find('\n'); newline != std::string::npos) {
            lines_.push_back(pending_.substr(0, newline));
            pending_.erase(0, newline + 1);
            return lines_.back();
        }
        if (out_ < 0) return std::nullopt;
        pollfd p{out_, POLLIN, 0};
        const int ready = ::poll(&p, 1, millisecondsLeft(deadline));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return std::nullopt;
        char buffer[4096];
        const ssize_t n = ::read(out_, buffer, sizeof buffer);
        if (n > 0) {
            pending_.append(buffer, static_cast<std::size_t>(n));
        } else {
            ::close(std::exchange(out_, -1));
        }
    }
}

std::optional<std::string> ChildProcess::waitForLine(
    const std::function<bool(const std::string&)>& match, double timeoutSeconds) {
    const auto deadline = deadlineAfter(timeoutSeconds);
    while (auto line = readLine(millisecondsLeft(deadline) / 1000.0)) {
        if (match(*line)) return line;
    }
    return std::nullopt;
}

std::optional<std::string> ChildProcess::waitForLine(const std::string& exact,
                                                     double timeoutSeconds) {
    return waitForLine([&](const std::string& line) { return line == exact; }, timeoutSeconds);
}

std::optional<int> ChildProcess::stop(int signal, double timeoutSeconds) {
    if (pid_ <= 0) return std::nullopt;
    ::kill(pid_, signal);
    const auto deadline = deadlineAfter(timeoutSeconds);
    for (int status = 0; Clock::now() < deadline;) {
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return decodeStatus(status);
        }
        // Polling for a process exit is not timed behaviour of ours; 5 ms steps keep it cheap.
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return std::nullopt;
}

ShellResult runShell(const std::string& command, const std::string& input,
                     std::map<std::string, std::string> env) {
    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) return {};
    const pid_t pid = spawn({"/bin/sh", "-c", command}, env, [&] {
        ::dup2(in[0], STDIN_FILENO);
        ::dup2(out[1], STDOUT_FILENO);
    });
    ::close(in[0]);
    ::close(out[1]);
    // The payload is small; write it all, then read until the shell closes its output.
    std::signal(SIGPIPE, SIG_IGN);
    for (std::string_view rest = input; !rest.empty();) {
        const ssize_t n = ::write(in[1], rest.data(), rest.size());
        if (n <= 0) break;
        rest.remove_prefix(static_cast<std::size_t>(n));
    }
    ::close(in[1]);
    ShellResult result;
    char buffer[4096];
    for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;)
        result.output.append(buffer, n);
    ::close(out[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    result.status = decodeStatus(status);
    return result;
}

}  // namespace brimwick::testing
