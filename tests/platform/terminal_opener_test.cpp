#include "platform/terminal_opener.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

#include "core/atomic_file.h"

namespace brimwick {
namespace {

namespace fs = std::filesystem;

class ScratchFolder {
  public:
    ScratchFolder() {
        std::string pattern = (fs::temp_directory_path() / "brimwick-terminal-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~ScratchFolder() { fs::remove_all(path_); }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

void writeProgram(const std::string& path, const std::string& text, mode_t mode = 0755) {
    ASSERT_TRUE(writeFileAtomically(path, text, mode));
}

// Reads what a detached program writes into a FIFO, waiting for it without sleeping.
std::string readFifo(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    std::string text;
    pollfd wait{fd, POLLIN, 0};
    // On Linux a FIFO that has never had a writer reports nothing, so poll waits for data.
    while (::poll(&wait, 1, 20000) > 0) {
        char buffer[256];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return text;
}

bool hasChildren() {
    errno = 0;
    return !(::waitpid(-1, nullptr, WNOHANG) < 0 && errno == ECHILD);
}

TEST(TerminalCandidatesTest, TerminalVariableComesFirstThenTheDebianChoiceThenCommonOnes) {
    const auto withVariable = terminalCandidates("foot");
    ASSERT_EQ(withVariable.size(), 8u);
    EXPECT_EQ(withVariable[0], (TerminalCommand{"foot", {"-e"}}));
    EXPECT_EQ(withVariable[1], (TerminalCommand{"x-terminal-emulator", {"-e"}}));
    EXPECT_EQ(withVariable[2], (TerminalCommand{"gnome-terminal", {"--"}}));
    EXPECT_EQ(withVariable[3], (TerminalCommand{"konsole", {"-e"}}));
    EXPECT_EQ(withVariable[4], (TerminalCommand{"xfce4-terminal", {"-x"}}));
    EXPECT_EQ(withVariable[5], (TerminalCommand{"alacritty", {"-e"}}));
    EXPECT_EQ(withVariable[6], (TerminalCommand{"kitty", {}}));
    EXPECT_EQ(withVariable[7], (TerminalCommand{"xterm", {"-e"}}));

    EXPECT_EQ(terminalCandidates(nullptr).front().program, "x-terminal-emulator");
    EXPECT_EQ(terminalCandidates("").front().program, "x-terminal-emulator");
}

TEST(FindExecutableTest, SearchesThePathInOrderForExecutableFiles) {
    ScratchFolder scratch;
    fs::create_directories(scratch / "a");
    fs::create_directories(scratch / "b");
    fs::create_directories(scratch / "c/term");             // a folder is not a program
    writeProgram(scratch / "a/term", "#!/bin/sh\n", 0644);  // not executable
    writeProgram(scratch / "b/term", "#!/bin/sh\n");
    const std::string path = scratch / "c" + "::" + scratch / "a" + ":" + scratch / "b/";

    EXPECT_EQ(findExecutable("term", path), scratch / "b/term");
    EXPECT_EQ(findExecutable("missing", path), std::nullopt);
    EXPECT_EQ(findExecutable("", path), std::nullopt);
    EXPECT_EQ(findExecutable("term", ""), std::nullopt);
    // A name with a slash is taken as it is, never searched.
    EXPECT_EQ(findExecutable(scratch / "b/term", ""), scratch / "b/term");
    EXPECT_EQ(findExecutable(scratch / "a/term", path), std::nullopt);
}

TEST(FindExecutableTest, EmptyPathEntriesDoNotMeanTheCurrentFolder) {
    ScratchFolder scratch;
    writeProgram(scratch / "term", "#!/bin/sh\n");
    const auto previous = fs::current_path();
    fs::current_path(scratch.path());
    const auto found = findExecutable("term", ":/nonexistent:");
    fs::current_path(previous);
    EXPECT_EQ(found, std::nullopt);
}

struct Spawned {
    std::string path;
    std::vector<std::string> arguments;
};

TEST(LinuxTerminalOpenerTest, StartsTheFirstInstalledTerminalWithItsOwnWayOfRunningAFile) {
    std::vector<Spawned> spawned;
    LinuxTerminalOpener opener({
        [] { return terminalCandidates("my-term"); },
        [](const std::string& program) -> std::optional<std::string> {
            if (program == "gnome-terminal" || program == "xterm") return "/opt/bin/" + program;
            return std::nullopt;
        },
        [&](const std::string& path, const std::vector<std::string>& arguments) -> Result<void> {
            spawned.push_back({path, arguments});
            return {};
        },
    });
    ASSERT_TRUE(opener.openScript("/tmp/Brimwick/new-session-0A1B2C3D.command"));
    ASSERT_EQ(spawned.size(), 1u);
    EXPECT_EQ(spawned[0].path, "/opt/bin/gnome-terminal");
    EXPECT_EQ(spawned[0].arguments,
              (std::vector<std::string>{"gnome-terminal", "--",
                                        "/tmp/Brimwick/new-session-0A1B2C3D.command"}));
}

TEST(LinuxTerminalOpenerTest, MovesOnWhenATerminalWillNotStart) {
    std::vector<std::string> tried;
    LinuxTerminalOpener opener({
        [] { return terminalCandidates("broken"); },
        [](const std::string& program) -> std::optional<std::string> { return "/x/" + program; },
        [&](const std::string& path, const std::vector<std::string>&) -> Result<void> {
            tried.push_back(path);
            if (path == "/x/konsole") return {};
            return Error{"spawn", "Couldn't start " + path};
        },
    });
    ASSERT_TRUE(opener.openScript("/s.command"));
    EXPECT_EQ(tried, (std::vector<std::string>{"/x/broken", "/x/x-terminal-emulator",
                                               "/x/gnome-terminal", "/x/konsole"}));
}

TEST(LinuxTerminalOpenerTest, ReportsWhenNoTerminalCanBeStarted) {
    int spawns = 0;
    LinuxTerminalOpener nothingInstalled({
        [] { return terminalCandidates(nullptr); },
        [](const std::string&) -> std::optional<std::string> { return std::nullopt; },
        [&](const std::string&, const std::vector<std::string>&) -> Result<void> {
            ++spawns;
            return {};
        },
    });
    const auto missing = nothingInstalled.openScript("/s.command");
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error(), (Error{"noTerminal", "No terminal emulator found"}));
    EXPECT_EQ(spawns, 0);

    LinuxTerminalOpener allBroken({
        [] { return terminalCandidates(nullptr); },
        [](const std::string& program) -> std::optional<std::string> { return "/x/" + program; },
        [&](const std::string&, const std::vector<std::string>&) -> Result<void> {
            ++spawns;
            return Error{"spawn", "no"};
        },
    });
    const auto broken = allBroken.openScript("/s.command");
    ASSERT_FALSE(broken);
    EXPECT_EQ(broken.error().message, "No terminal emulator found");
    EXPECT_EQ(spawns, 7);
}

TEST(SpawnDetachedTest, ProgramRunsOutsideOurSessionWithoutOurDescriptorsOrAZombie) {
    ScratchFolder scratch;
    const std::string fifo = scratch / "report";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // A descriptor we forgot to mark close-on-exec, like a listening socket might be.
    const int leaky = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(leaky, 3);

    const std::string program = scratch / "report.sh";
    writeProgram(program,
                 "#!/bin/sh\n"
                 "fd=no; [ -e /proc/self/fd/" +
                     std::to_string(leaky) +
                     " ] && fd=yes\n"
                     "sid=$(cut -d' ' -f6 /proc/$$/stat)\n"
                     "printf '%s %s %s %s' \"$1\" \"$PPID\" \"$sid\" \"$fd\" > " +
                     fifo + "\n");
    ASSERT_TRUE(spawnDetached(program, {"report.sh", "two words"}));
    EXPECT_FALSE(hasChildren()) << "the intermediate child was not reaped";

    const std::string report = readFifo(fifo);
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
}

TEST(SpawnDetachedTest, FailsWhenTheProgramCannotBeExecuted) {
    ScratchFolder scratch;
    writeProgram(scratch / "plain", "not a program\n", 0644);

    const auto missing = spawnDetached(scratch / "missing", {"missing"});
    ASSERT_FALSE(missing);
    EXPECT_NE(missing.error().message.find("No such file or directory"), std::string::npos);

    const auto denied = spawnDetached(scratch / "plain", {"plain"});
    ASSERT_FALSE(denied);
    EXPECT_NE(denied.error().message.find("Permission denied"), std::string::npos);
    EXPECT_FALSE(hasChildren());
}

}  // namespace
}  // namespace brimwick
