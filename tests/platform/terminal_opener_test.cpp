#include "platform/terminal_opener.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>

#include "core/atomic_file.h"
#include "support/eventually.h"
#include "support/scratch_folder.h"

namespace brimwick {

static bool hasChildren() {
    errno = 0;
    return !(::waitpid(-1, nullptr, WNOHANG) < 0 && errno == ECHILD);
}

TEST(TerminalOpenerTest, CandidatesInOrderAndTheFirstThatStartsRunsTheScript) {
    std::string all;
    for (const auto& [program, before] : terminalCandidates("foot")) {
        all += program;
        for (const auto& argument : before) all += " " + argument;
        all += ";";
    }
    EXPECT_EQ(all,
              "foot -e;x-terminal-emulator -e;gnome-terminal --;konsole -e;xfce4-terminal -x;"
              "alacritty -e;kitty;xterm -e;");
    const auto withX = terminalCandidates("x");
    EXPECT_EQ(terminalCandidates(nullptr), std::vector(withX.begin() + 1, withX.end()));
    EXPECT_EQ(terminalCandidates("").front().program, "x-terminal-emulator");

    // Installed: gnome-terminal and xterm; "broken" is found but will not start.
    std::vector<std::vector<std::string>> spawned;
    std::set<std::string> installed{"broken", "gnome-terminal", "xterm"};
    LinuxTerminalOpener opener({
        [] { return terminalCandidates("broken"); },
        [&](const std::string& program) -> std::optional<std::string> {
            if (installed.count(program)) return "/x/" + program;
            return std::nullopt;
        },
        [&](const std::string& path, const std::vector<std::string>& arguments) -> Result<void> {
            spawned.push_back(arguments);
            spawned.back().insert(spawned.back().begin(), path);
            if (path == "/x/broken") return Error{"spawn", "Couldn't start " + path};
            return {};
        },
    });
    ASSERT_TRUE(opener.openScript("/tmp/Brimwick/s.command"));
    EXPECT_EQ(spawned,
              (std::vector<std::vector<std::string>>{
                  {"/x/broken", "broken", "-e", "/tmp/Brimwick/s.command"},
                  {"/x/gnome-terminal", "gnome-terminal", "--", "/tmp/Brimwick/s.command"}}));

    installed = {"xterm"};
    spawned.clear();
    ASSERT_TRUE(opener.openScript("/s"));
    EXPECT_EQ(spawned.size(), 1u);
    installed = {"broken"};
    spawned.clear();
    EXPECT_EQ(opener.openScript("/s").error(), (Error{"noTerminal", "No terminal emulator found"}));
    EXPECT_EQ(spawned.size(), 1u);  // every candidate was tried, only the installed one spawned
    installed.clear();
    EXPECT_EQ(opener.openScript("/s").error(), (Error{"noTerminal", "No terminal emulator found"}));
}

TEST(TerminalOpenerTest, FindExecutableSearchesThePathInOrderForExecutableFiles) {
    const testing::ScratchFolder scratch("brimwick-terminal");
    const std::string at = scratch.path().string();
    for (const char* folder : {"/a", "/b", "/c/term"})
        std::filesystem::create_directories(at + folder);
    ASSERT_TRUE(writeFileAtomically(at + "/a/term", "#!/bin/sh\n", 0644));  // not executable
    ASSERT_TRUE(writeFileAtomically(at + "/b/term", "#!/bin/sh\n", 0755));
    ASSERT_TRUE(writeFileAtomically(at + "/term", "#!/bin/sh\n", 0755));
    const std::string path = at + "/c::" + at + "/a:" + at + "/b/";  // c/term is a folder
    EXPECT_EQ(findExecutable("term", path), at + "/b/term");
    EXPECT_EQ(findExecutable("missing", path), std::nullopt);
    EXPECT_EQ(findExecutable("", path), std::nullopt);
    EXPECT_EQ(findExecutable("term", ""), std::nullopt);
    // A name with a slash is taken as it is, never searched.
    EXPECT_EQ(findExecutable(at + "/b/term", ""), at + "/b/term");
    EXPECT_EQ(findExecutable(at + "/a/term", path), std::nullopt);
    // Empty entries do not mean the current folder.
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(at);
    const auto found = findExecutable("term", ":/nonexistent:");
    std::filesystem::current_path(previous);
    EXPECT_EQ(found, std::nullopt);
}

TEST(TerminalOpenerTest, SpawnDetachedLeavesNoZombieNoDescriptorsAndOurSessionBehind) {
    const testing::ScratchFolder scratch("brimwick-terminal");
    const std::string out = scratch.path() / "report", program = scratch.path() / "report.sh";
    const int leaky = ::open("/dev/null", O_RDONLY);  // not close-on-exec, as a socket might be
    ASSERT_TRUE(writeFileAtomically(
        program,
        "#!/bin/sh\nfd=no; [ -e /proc/self/fd/" + std::to_string(leaky) +
            " ] && fd=yes\necho \"$1 $PPID $(cut -d' ' -f6 /proc/$$/stat) $fd\" > " + out +
            ".new; mv " + out + ".new " + out + "\n",
        0755));
    ASSERT_TRUE(spawnDetached(program, {"report.sh", "two words"}));
    EXPECT_FALSE(hasChildren()) << "the intermediate child was not reaped";
    std::string report;
    ASSERT_TRUE(testing::eventually(
        [&] {
            const auto r = readFile(out);
            return r.ok() && !(report = *r).empty();
        },
        20));
    ::close(leaky);
    char argument[32], fd[8];
    long parent = 0, session = 0;
    ASSERT_EQ(std::sscanf(report.c_str(), "two %31s %ld %ld %7s", argument, &parent, &session, fd),
              4)
        << report;
    EXPECT_STREQ(argument, "words");
    EXPECT_NE(parent, ::getpid());
    EXPECT_NE(session, ::getsid(0));
    EXPECT_STREQ(fd, "no");

    ASSERT_TRUE(writeFileAtomically(scratch.path() / "plain", "not a program\n", 0644));
    const auto missing = spawnDetached(scratch.path() / "missing", {"missing"});
    EXPECT_NE(missing.error().message.find("No such file or directory"), std::string::npos);
    const auto denied = spawnDetached(scratch.path() / "plain", {"plain"});
    EXPECT_NE(denied.error().message.find("Permission denied"), std::string::npos);
    EXPECT_FALSE(hasChildren());
}

}  // namespace brimwick
