#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>

#include "core/atomic_file.h"
#include "platform/terminal_opener.h"

extern char** environ;

namespace brimwick {
namespace {

bool isExecutableFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

// Async-signal-safe: the only things a forked child of a threaded process may do.
void reportAndExit(int fd, int error) {
    [[maybe_unused]] const ssize_t n = ::write(fd, &error, sizeof error);
    ::_exit(127);
}

}  // namespace

std::vector<TerminalCommand> terminalCandidates(const char* terminalVariable) {
    std::vector<TerminalCommand> candidates;
    // $TERMINAL names a program; "-e" is the option nearly every emulator understands.
    if (terminalVariable && terminalVariable[0] != '\0') {
        candidates.push_back({terminalVariable, {"-e"}});
    }
    candidates.push_back({"x-terminal-emulator", {"-e"}});
    candidates.push_back({"gnome-terminal", {"--"}});
    candidates.push_back({"konsole", {"-e"}});
    // xfce4-terminal's -e takes one string that it splits itself; -x passes the rest as it is.
    candidates.push_back({"xfce4-terminal", {"-x"}});
    candidates.push_back({"alacritty", {"-e"}});
    // kitty runs its positional arguments; the script path is absolute, so never an option.
    candidates.push_back({"kitty", {}});
    candidates.push_back({"xterm", {"-e"}});
    return candidates;
}

std::optional<std::string> findExecutable(const std::string& program,
                                          const std::string& searchPath) {
    if (program.empty()) return std::nullopt;
    if (program.find('/') != std::string::npos) {
        if (isExecutableFile(program)) return program;
        return std::nullopt;
    }
    std::size_t start = 0;
    while (start <= searchPath.size()) {
        auto end = searchPath.find(':', start);
        if (end == std::string::npos) end = searchPath.size();
        // An empty entry would mean the current folder, which is nothing to launch from.
        if (end > start) {
            std::string candidate = searchPath.substr(start, end - start);
            if (candidate.back() != '/') candidate += '/';
            candidate += program;
            if (isExecutableFile(candidate)) return candidate;
        }
        start = end + 1;
    }
    return std::nullopt;
}

Result<void> spawnDetached(const std::string& path, const std::vector<std::string>& arguments) {
    // Everything the children use is prepared before fork: after it, only system calls.
    std::vector<std::string> copies = arguments;
    if (copies.empty()) copies.push_back(path);
    std::vector<char*> argv;
    for (auto& argument : copies) argv.push_back(argument.data());
    argv.push_back(nullptr);

    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        return Error{"spawn", "Couldn't start " + path + ": " + systemErrorText(errno)};
    }
    const pid_t intermediate = ::fork();
    if (intermediate < 0) {
        const int error = errno;
        ::close(report[0]);
        ::close(report[1]);
        return Error{"spawn", "Couldn't start " + path + ": " + systemErrorText(error)};
    }
    if (intermediate == 0) {
        ::close(report[0]);
        ::setsid();  // away from our terminal and process group, so our signals don't reach it
        const pid_t program = ::fork();
        if (program < 0) reportAndExit(report[1], errno);
        if (program == 0) {
            sigset_t none;
            sigemptyset(&none);
            ::sigprocmask(SIG_SETMASK, &none, nullptr);
            struct sigaction standard {};
            standard.sa_handler = SIG_DFL;
            ::sigaction(SIGPIPE, &standard, nullptr);
            ::sigaction(SIGCHLD, &standard, nullptr);
            // Our sockets and files must not live on in the terminal (a listening port would
            // stay taken after we quit). The report pipe is close-on-exec already.
            ::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
            ::execve(path.c_str(), argv.data(), environ);
            reportAndExit(report[1], errno);
        }
        ::_exit(0);
    }

    ::close(report[1]);
    int status = 0;
    while (::waitpid(intermediate, &status, 0) < 0 && errno == EINTR) {
    }
    // The pipe reads empty once the program has replaced the child (close-on-exec) and the
    // intermediate has exited; otherwise it carries the errno of the failed step.
    int error = 0;
    ssize_t n;
    while ((n = ::read(report[0], &error, sizeof error)) < 0 && errno == EINTR) {
    }
    ::close(report[0]);
    if (n == static_cast<ssize_t>(sizeof error)) {
        return Error{"spawn", "Couldn't start " + path + ": " + systemErrorText(error)};
    }
    return {};
}

LinuxTerminalOpener::LinuxTerminalOpener()
    : LinuxTerminalOpener(System{
          [] { return terminalCandidates(std::getenv("TERMINAL")); },
          [](const std::string& program) {
              const char* path = std::getenv("PATH");
              return findExecutable(program, path ? path : "/usr/local/bin:/usr/bin:/bin");
          },
          spawnDetached,
      }) {}

LinuxTerminalOpener::LinuxTerminalOpener(System system) : system_(std::move(system)) {}

Result<void> LinuxTerminalOpener::openScript(const std::string& scriptPath) {
    for (const auto& candidate : system_.candidates()) {
        const auto path = system_.find(candidate.program);
        if (!path) continue;
        std::vector<std::string> arguments{candidate.program};
        arguments.insert(arguments.end(), candidate.argumentsBefore.begin(),
                         candidate.argumentsBefore.end());
        arguments.push_back(scriptPath);
        // A terminal that is found but can't be executed (a dangling link, no permission) is no
        // reason to give up: the next one may work.
        if (system_.spawn(*path, arguments)) return {};
    }
    return Error{"noTerminal", "No terminal emulator found"};
}

}  // namespace brimwick
