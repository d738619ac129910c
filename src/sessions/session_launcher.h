// session_launcher: starts a new Claude Code session in a terminal window, in a project folder,
// with a first prompt.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "core/result.h"
#include "platform/terminal_opener.h"

namespace brimwick {

// Stateless. A launch writes two files into "<temporary directory>/Brimwick": the prompt
// ("prompt-T.txt") and a five-line shell script ("new-session-T.command", mode 0700) that the
// terminal runs. The script changes to the project folder (exiting with status 1 when it is
// gone, leaving both files behind), reads the prompt, deletes both files and becomes
// `claude -- "<prompt>"`. The prompt never passes through the shell parser.
//
// Main thread; the file writes are synchronous and the terminal is not waited for.
namespace session_launcher {

// What a launch asks of the system. `realSystem` fills in the real answers; tests replace
// any of them.
struct System {
    std::function<std::string()> temporaryDirectory;       // $TMPDIR, else /tmp
    std::function<bool(const std::string&)> isExecutable;  // is zsh installed?
    std::function<std::string()> loginShell;               // from the password database
    std::function<std::string()> newToken;                 // T: 8 upper-case hex digits
    std::function<Result<void>(const std::string& scriptPath)> openInTerminal;
};
// `terminal` must outlive every use of the returned value.
System realSystem(TerminalOpener& terminal);

// Writes the files and opens the script in the user's terminal. Fails with the first failing
// file operation's error (earlier files stay), with an error when the launch folder belongs to
// someone else, or with the terminal's error ("No terminal emulator found"), in which case the
// two files, never to be run, are removed again.
Result<void> open(const std::string& folder, const std::string& prompt);
Result<void> open(const std::string& folder, const std::string& prompt, const System& system);

// Q(x): `text` in single quotes, each single quote inside written as '\''.
std::string quoted(std::string_view text);

// The launch script. `shell` is the interpreter's absolute path ("/bin/zsh").
std::string script(std::string_view shell, std::string_view folder, std::string_view promptPath);

// The interpreter: zsh when installed, else the login shell when it speaks the same shell
// language (sh, bash, ksh, …); any other login shell, or none, gives /bin/sh.
std::string interpreter(bool zshInstalled, std::string_view loginShell);

// A fresh T: the first 8 characters of a random UUID, upper case.
std::string newToken();

}  // namespace session_launcher

}  // namespace brimwick
