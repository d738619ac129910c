// ChildProcess: runs a program with a pipe on its standard output (and error), for tests that
// drive the real executable.
#pragma once

#include <sys/types.h>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace brimwick::testing {

class ChildProcess {
  public:
    // Starts `argv[0]` (a path) with `argv`; `env` entries are added to (or replace) the test's
    // environment. Standard error goes to the same pipe as standard output when `mergeStderr`.
    ChildProcess(std::vector<std::string> argv, std::map<std::string, std::string> env = {},
                 bool mergeStderr = true);
    ~ChildProcess();  // kills the child if it still runs
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return pid_; }

    // The next whole output line, waiting up to `timeoutSeconds`.
    std::optional<std::string> readLine(double timeoutSeconds = 10.0);

    // Reads lines until one satisfies `match`; every line read is kept in lines().
    std::optional<std::string> waitForLine(const std::function<bool(const std::string&)>& match,
                                           double timeoutSeconds = 10.0);
    std::optional<std::string> waitForLine(const std::string& exact, double timeoutSeconds = 10.0);

    const std::vector<std::string>& lines() const { return lines_; }

    // Sends `signal` and waits for the exit. Gives the exit status, or 128 + signal number
    // when the child died of a signal, or nothing when it did not end within the time.
    std::optional<int> stop(int signal, double timeoutSeconds = 10.0);

  private:
    pid_t pid_ = -1;
    int out_ = -1;
    std::string pending_;
    std::vector<std::string> lines_;
};

// Runs `sh -c command` with `input` on standard input; gives its exit status and standard
// output. Used to run hook command texts exactly as Claude Code runs them.
struct ShellResult {
    int status = -1;
    std::string output;
};
ShellResult runShell(const std::string& command, const std::string& input,
                     std::map<std::string, std::string> env = {});

}  // namespace brimwick::testing
