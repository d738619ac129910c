#include "sessions/session_launcher.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>

#include "core/atomic_file.h"

namespace brimwick {
namespace {

constexpr std::string_view kZsh = "/bin/zsh";
constexpr int kTokenAttempts = 16;

bool exists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

// The launch folder lives in a temporary directory that, on Linux, other users can usually
// write to. Someone else's "Brimwick" folder could swap our script before the terminal runs it,
// so it is refused; our own is made private, since prompts are the user's words.
Result<void> prepareLaunchFolder(const std::string& path) {
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), error);
    if (error) return Error{"launchFolder", "Couldn't create " + path + ": " + error.message()};
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        return Error{"launchFolder", "Couldn't create " + path + ": " + systemErrorText(errno)};
    }
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
        return Error{"launchFolder", "Couldn't create " + path + ": " + systemErrorText(errno)};
    }
    if (!S_ISDIR(info.st_mode) || info.st_uid != ::geteuid()) {
        return Error{"launchFolder", "Couldn't use " + path + ": it isn't a folder of yours"};
    }
    if ((info.st_mode & 07777) != 0700 && ::chmod(path.c_str(), 0700) != 0) {
        return Error{"launchFolder", "Couldn't protect " + path + ": " + systemErrorText(errno)};
    }
    return {};
}

std::string joined(std::string directory, std::string_view name) {
    while (directory.size() > 1 && directory.back() == '/') directory.pop_back();
    if (directory.empty()) directory = "/tmp";
    if (directory.back() != '/') directory += '/';
    return directory.append(name);
}

}  // namespace

std::string session_launcher::quoted(std::string_view text) {
    std::string result = "'";
    for (const char c : text) {
        if (c == '\'') {
            result += "'\\''";
        } else {
            result += c;
        }
    }
    result += '\'';
    return result;
}

std::string session_launcher::script(std::string_view shell, std::string_view folder,
                                     std::string_view promptPath) {
    std::string text = "#!";
    text.append(shell);
    text += " -il\ncd -- ";
    text += quoted(folder);
    text += " || exit 1\nprompt=\"$(cat -- ";
    text += quoted(promptPath);
    text += ")\"\nrm -f -- ";
    text += quoted(promptPath);
    text += " \"$0\"\nexec claude -- \"$prompt\"\n";
    return text;
}

std::string session_launcher::interpreter(bool zshInstalled, std::string_view loginShell) {
    if (zshInstalled) return std::string(kZsh);
    // The script's lines are Bourne shell; fish or csh would reject them, and a relative path
    // or one with blanks can't stand in the interpreter line.
    static constexpr std::array<std::string_view, 12> kBourneShells = {
        "sh",   "bash", "dash",  "ash",  "ksh",  "ksh93",
        "mksh", "lksh", "pdksh", "posh", "yash", "zsh"};
    if (!loginShell.empty() && loginShell.front() == '/' &&
        loginShell.find_first_of(" \t\n") == std::string_view::npos) {
        const auto name = loginShell.substr(loginShell.rfind('/') + 1);
        for (const auto shell : kBourneShells) {
            if (name == shell) return std::string(loginShell);
        }
    }
    return "/bin/sh";
}

std::string session_launcher::newToken() {
    // A version 4 UUID starts with 32 random bits, so its first 8 characters are just those.
    std::random_device random;
    char text[9];
    std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(random()));
    return text;
}

session_launcher::System session_launcher::realSystem(TerminalOpener& terminal) {
    return System{
        [] {
            const char* directory = std::getenv("TMPDIR");
            return std::string(directory && directory[0] == '/' ? directory : "/tmp");
        },
        [](const std::string& path) { return ::access(path.c_str(), X_OK) == 0; },
        []() -> std::string {
            const passwd* entry = ::getpwuid(::getuid());
            return entry && entry->pw_shell ? entry->pw_shell : "";
        },
        &session_launcher::newToken,
        [&terminal](const std::string& scriptPath) { return terminal.openScript(scriptPath); },
    };
}

Result<void> session_launcher::open(const std::string& folder, const std::string& prompt) {
    LinuxTerminalOpener terminal;
    return open(folder, prompt, realSystem(terminal));
}

Result<void> session_launcher::open(const std::string& folder, const std::string& prompt,
                                    const System& system) {
    const std::string launchFolder = joined(system.temporaryDirectory(), "Brimwick");
    if (auto prepared = prepareLaunchFolder(launchFolder); !prepared) return prepared;

    // 32 random bits rarely collide, but a collision would overwrite a launch still waiting for
    // its terminal.
    std::string promptPath, scriptPath;
    bool unused = false;
    for (int attempt = 0; attempt < kTokenAttempts && !unused; ++attempt) {
        const std::string token = system.newToken();
        promptPath = launchFolder + "/prompt-" + token + ".txt";
        scriptPath = launchFolder + "/new-session-" + token + ".command";
        unused = !exists(promptPath) && !exists(scriptPath);
    }
    if (!unused) {
        return Error{"write", "Couldn't find an unused file name in " + launchFolder};
    }

    if (auto written = writeFileAtomically(promptPath, prompt, 0600); !written) return written;
    const std::string shell =
        interpreter(system.isExecutable(std::string(kZsh)), system.loginShell());
    if (auto written = writeFileAtomically(scriptPath, script(shell, folder, promptPath), 0700);
        !written) {
        return written;
    }
    if (auto opened = system.openInTerminal(scriptPath); !opened) {
        ::unlink(scriptPath.c_str());
        ::unlink(promptPath.c_str());
        return opened;
    }
    return {};
}

}  // namespace brimwick
