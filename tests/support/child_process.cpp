#include "support/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <thread>

extern char** environ;

namespace brimwick::testing {
namespace {

using Clock = std::chrono::steady_clock;

Clock::time_point deadlineAfter(double seconds) {
    return Clock::now() +
           std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

int millisecondsLeft(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

std::vector<std::string> mergedEnvironment(const std::map<std::string, std::string>& extra) {
    std::map<std::string, std::string> all;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const auto eq = entry.find('=');
        if (eq != std::string::npos) all[entry.substr(0, eq)] = entry.substr(eq + 1);
    }
    for (const auto& [key, value] : extra) all[key] = value;
    std::vector<std::string> out;
    for (const auto& [key, value] : all) out.push_back(key + "=" + value);
    return out;
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> out;
    for (auto& s : strings) out.push_back(s.data());
    out.push_back(nullptr);
    return out;
}

int decodeStatus(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

}  // namespace

ChildProcess::ChildProcess(std::vector<std::string> argv, std::map<std::string, std::string> env,
                           bool mergeStderr) {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) return;
    auto environment = mergedEnvironment(env);
    auto args = pointers(argv);
    auto envp = pointers(environment);
    pid_ = ::fork();
    if (pid_ == 0) {
        ::dup2(pipeFds[1], STDOUT_FILENO);
        if (mergeStderr) ::dup2(pipeFds[1], STDERR_FILENO);
        const int null = ::open("/dev/null", O_RDONLY);
        ::dup2(null, STDIN_FILENO);
        ::execve(args[0], args.data(), envp.data());
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    out_ = pipeFds[0];
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
            std::string line = pending_.substr(0, newline);
            pending_.erase(0, newline + 1);
            lines_.push_back(line);
            return line;
        }
        if (out_ < 0) return std::nullopt;
        pollfd p{out_, POLLIN, 0};
        const int ready = ::poll(&p, 1, millisecondsLeft(deadline));
        if (ready == 0) return std::nullopt;
        if (ready < 0) {
            if (errno == EINTR) continue;
            return std::nullopt;
        }
        char buffer[4096];
        const ssize_t n = ::read(out_, buffer, sizeof buffer);
        if (n <= 0) {
            ::close(out_);
            out_ = -1;
            continue;
        }
        pending_.append(buffer, static_cast<std::size_t>(n));
    }
}

std::optional<std::string> ChildProcess::waitForLine(
    const std::function<bool(const std::string&)>& match, double timeoutSeconds) {
    const auto deadline = deadlineAfter(timeoutSeconds);
    while (Clock::now() < deadline) {
        auto line = readLine(millisecondsLeft(deadline) / 1000.0);
        if (!line) return std::nullopt;
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
    for (;;) {
        int status = 0;
        const pid_t done = ::waitpid(pid_, &status, WNOHANG);
        if (done == pid_) {
            pid_ = -1;
            return decodeStatus(status);
        }
        if (Clock::now() >= deadline) return std::nullopt;
        // Polling for a process exit is not timed behaviour of ours; 5 ms steps keep it cheap.
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

ShellResult runShell(const std::string& command, const std::string& input,
                     std::map<std::string, std::string> env) {
    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) return {};
    auto environment = mergedEnvironment(env);
    std::vector<std::string> argv = {"/bin/sh", "-c", command};
    auto args = pointers(argv);
    auto envp = pointers(environment);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(in[0], STDIN_FILENO);
        ::dup2(out[1], STDOUT_FILENO);
        ::execve(args[0], args.data(), envp.data());
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    // The payload is small; write it all, then read until the shell closes its output.
    std::signal(SIGPIPE, SIG_IGN);
    std::string_view rest = input;
    while (!rest.empty()) {
        const ssize_t n = ::write(in[1], rest.data(), rest.size());
        if (n <= 0) break;
        rest.remove_prefix(static_cast<std::size_t>(n));
    }
    ::close(in[1]);
    ShellResult result;
    char buffer[4096];
    for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;) {
        result.output.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(out[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    result.status = decodeStatus(status);
    return result;
}

}  // namespace brimwick::testing
