// TerminalOpener: runs a script file in a new window of the user's terminal emulator.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/result.h"

namespace brimwick {

class TerminalOpener {
  public:
    virtual ~TerminalOpener() = default;

    // Starts a terminal that runs the executable file at `scriptPath`, and returns once the
    // terminal program has been started; it is not waited for. Error code "noTerminal" when no
    // terminal emulator could be started.
    virtual Result<void> openScript(const std::string& scriptPath) = 0;
};

// One way of running a file in a terminal: `program` followed by `argumentsBefore`, then the path.
struct TerminalCommand {
    std::string program;
    std::vector<std::string> argumentsBefore;

    bool operator==(const TerminalCommand&) const = default;
};

// The terminals worth trying, in order: $TERMINAL (when `terminalVariable` is set), the Debian
// alternative x-terminal-emulator, then GNOME Terminal, Konsole, xfce4-terminal, Alacritty, kitty
// and xterm, each with the option it takes for a command to run.
std::vector<TerminalCommand> terminalCandidates(const char* terminalVariable);

// The path of an executable named `program` in the directories of `searchPath` (as $PATH);
// a name that contains a slash is checked as it is.
std::optional<std::string> findExecutable(const std::string& program,
                                          const std::string& searchPath);

// Starts `path` with `arguments` (argv[0] included) in a new session, detached: an intermediate
// child exits at once, so the program is never our child and leaves no zombie behind. Fails when
// the program could not be executed. Descriptors other than 0-2 are not inherited.
Result<void> spawnDetached(const std::string& path, const std::vector<std::string>& arguments);

// Tries the candidates in order until one starts. Every seam is replaceable for tests.
class LinuxTerminalOpener final : public TerminalOpener {
  public:
    struct System {
        std::function<std::vector<TerminalCommand>()> candidates;
        std::function<std::optional<std::string>(const std::string& program)> find;
        std::function<Result<void>(const std::string& path, const std::vector<std::string>&)> spawn;
    };

    // The real system: $TERMINAL and $PATH read at each call, spawnDetached.
    LinuxTerminalOpener();
    explicit LinuxTerminalOpener(System system);

    Result<void> openScript(const std::string& scriptPath) override;

  private:
    System system_;
};

}  // namespace brimwick
