#include "sessions/session_launcher.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <set>

#include "core/atomic_file.h"

namespace brimwick {
namespace {

namespace fs = std::filesystem;

mode_t modeOf(const std::string& path) {
    struct stat info {};
    ::lstat(path.c_str(), &info);
    return info.st_mode & 07777;
}

std::vector<std::string> filesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST(ShellQuotingTest, WrapsInSingleQuotesAndEscapesOnlySingleQuotes) {
    EXPECT_EQ(session_launcher::quoted(""), "''");
    EXPECT_EQ(session_launcher::quoted("/Users/me/My Project"), "'/Users/me/My Project'");
    EXPECT_EQ(session_launcher::quoted("it's"), R"('it'\''s')");
    EXPECT_EQ(session_launcher::quoted("''"), R"(''\'''\''')");
    const std::string untouched = "$HOME `id` \"x\" \\ \n ü 🎉 *?";
    EXPECT_EQ(session_launcher::quoted(untouched), "'" + untouched + "'");
}

TEST(LaunchScriptTest, IsFiveLinesExactly) {
    EXPECT_EQ(session_launcher::script("/bin/zsh", "/work/it's here",
                                       "/tmp/Brimwick/prompt-0A1B2C3D.txt"),
              R"SH(#!/bin/zsh -il
cd -- '/work/it'\''s here' || exit 1
prompt="$(cat -- '/tmp/Brimwick/prompt-0A1B2C3D.txt')"
rm -f -- '/tmp/Brimwick/prompt-0A1B2C3D.txt' "$0"
exec claude -- "$prompt"
)SH");
    const auto withBash = session_launcher::script("/bin/bash", "/p", "/q");
    EXPECT_EQ(withBash.substr(0, withBash.find('\n') + 1), "#!/bin/bash -il\n");
}

TEST(LaunchScriptTest, InterpreterIsZshWhenInstalledElseABourneLoginShell) {
    EXPECT_EQ(session_launcher::interpreter(true, "/bin/bash"), "/bin/zsh");
    EXPECT_EQ(session_launcher::interpreter(false, "/bin/bash"), "/bin/bash");
    EXPECT_EQ(session_launcher::interpreter(false, "/usr/bin/zsh"), "/usr/bin/zsh");
    EXPECT_EQ(session_launcher::interpreter(false, "/bin/dash"), "/bin/dash");
    // The script's lines mean nothing to these, or they can't stand after "#!".
    EXPECT_EQ(session_launcher::interpreter(false, "/usr/bin/fish"), "/bin/sh");
    EXPECT_EQ(session_launcher::interpreter(false, "/bin/tcsh"), "/bin/sh");
    EXPECT_EQ(session_launcher::interpreter(false, "/usr/sbin/nologin"), "/bin/sh");
    EXPECT_EQ(session_launcher::interpreter(false, ""), "/bin/sh");
    EXPECT_EQ(session_launcher::interpreter(false, "bash"), "/bin/sh");
    EXPECT_EQ(session_launcher::interpreter(false, "/opt/my shells/bash"), "/bin/sh");
}

TEST(LaunchTokenTest, IsEightUpperCaseHexDigitsFreshEachTime) {
    std::set<std::string> seen;
    for (int i = 0; i < 200; ++i) {
        const auto token = session_launcher::newToken();
        ASSERT_EQ(token.size(), 8u);
        EXPECT_EQ(token.find_first_not_of("0123456789ABCDEF"), std::string::npos) << token;
        seen.insert(token);
    }
    EXPECT_EQ(seen.size(), 200u);
}

class SessionLauncherTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "brimwick-launch-XXXXXX").string();
        scratch_ = ::mkdtemp(pattern.data());
        temporary_ = scratch_ + "/tmp";
        project_ = scratch_ + "/project";
        fs::create_directories(project_);
        fs::create_directories(temporary_);
        system_ = {
            [this] { return temporary_; },
            [](const std::string&) { return false; },
            [] { return std::string("/bin/bash"); },
            [this] {
                if (tokens_.empty()) return session_launcher::newToken();
                auto token = tokens_.front();
                tokens_.erase(tokens_.begin());
                return token;
            },
            [this](const std::string& script) -> Result<void> {
                opened_.push_back(script);
                return terminalResult_;
            },
        };
    }
    void TearDown() override { fs::remove_all(scratch_); }

    std::string launchFolder() const { return temporary_ + "/Brimwick"; }

    std::string scratch_, temporary_, project_;
    std::vector<std::string> tokens_;
    std::vector<std::string> opened_;
    Result<void> terminalResult_;
    session_launcher::System system_;
};

TEST_F(SessionLauncherTest, WritesPromptAndScriptThenOpensTheScript) {
    tokens_ = {"0A1B2C3D"};
    ASSERT_TRUE(session_launcher::open(project_, "Fix the build", system_));

    const std::string prompt = launchFolder() + "/prompt-0A1B2C3D.txt";
    const std::string script = launchFolder() + "/new-session-0A1B2C3D.command";
    EXPECT_EQ(opened_, std::vector<std::string>{script});
    EXPECT_EQ(readFile(prompt).value(), "Fix the build");
    EXPECT_EQ(readFile(script).value(), session_launcher::script("/bin/bash", project_, prompt));
    EXPECT_EQ(modeOf(script), 0700u);
    EXPECT_EQ(modeOf(prompt), 0600u) << "the prompt is the user's own words";
    EXPECT_EQ(modeOf(launchFolder()), 0700u);
    EXPECT_EQ(filesIn(launchFolder()).size(), 2u) << "no temporary files left behind";

    system_.isExecutable = [](const std::string& path) { return path == "/bin/zsh"; };
    tokens_ = {"99999999"};
    ASSERT_TRUE(session_launcher::open(project_, "again", system_));
    EXPECT_EQ(readFile(launchFolder() + "/new-session-99999999.command")->substr(0, 15),
              "#!/bin/zsh -il\n");
}

TEST_F(SessionLauncherTest, TwoLaunchesInARowUseDifferentFiles) {
    ASSERT_TRUE(session_launcher::open(project_, "one", system_));
    ASSERT_TRUE(session_launcher::open(project_, "two", system_));
    ASSERT_EQ(opened_.size(), 2u);
    EXPECT_NE(opened_[0], opened_[1]);
    EXPECT_EQ(filesIn(launchFolder()).size(), 4u);
}

TEST_F(SessionLauncherTest, ATokenInUseIsNeverReused) {
    tokens_ = {"AAAAAAAA", "AAAAAAAA", "BBBBBBBB"};
    ASSERT_TRUE(session_launcher::open(project_, "first", system_));
    ASSERT_TRUE(session_launcher::open(project_, "second", system_));
    EXPECT_EQ(readFile(launchFolder() + "/prompt-AAAAAAAA.txt").value(), "first");
    EXPECT_EQ(readFile(launchFolder() + "/prompt-BBBBBBBB.txt").value(), "second");

    system_.newToken = [] { return std::string("AAAAAAAA"); };
    const auto stuck = session_launcher::open(project_, "third", system_);
    ASSERT_FALSE(stuck);
    EXPECT_EQ(readFile(launchFolder() + "/prompt-AAAAAAAA.txt").value(), "first");
}

TEST_F(SessionLauncherTest, WhenNoTerminalStartsTheErrorIsPassedOnAndTheFilesRemoved) {
    terminalResult_ = Error{"noTerminal", "No terminal emulator found"};
    const auto result = session_launcher::open(project_, "hello", system_);
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().message, "No terminal emulator found");
    EXPECT_TRUE(filesIn(launchFolder()).empty());
}

TEST_F(SessionLauncherTest, CreatesTheLaunchFolderWithItsParentsAndKeepsItPrivate) {
    temporary_ = scratch_ + "/deep/er/tmp/";
    ASSERT_TRUE(session_launcher::open(project_, "x", system_));
    EXPECT_EQ(filesIn(launchFolder()).size(), 2u);

    // A folder left readable by an earlier version or by hand is closed up.
    ::chmod(launchFolder().c_str(), 0755);
    ASSERT_TRUE(session_launcher::open(project_, "y", system_));
    EXPECT_EQ(modeOf(launchFolder()), 0700u);
}

TEST_F(SessionLauncherTest, RefusesALaunchFolderThatIsNotTheUsersOwn) {
    // In a shared temporary folder, someone else could swap the script before it runs.
    fs::create_directories(scratch_ + "/elsewhere");
    fs::create_symlink(scratch_ + "/elsewhere", launchFolder());
    const auto throughLink = session_launcher::open(project_, "x", system_);
    ASSERT_FALSE(throughLink);
    EXPECT_EQ(throughLink.error().code, "launchFolder");
    EXPECT_TRUE(filesIn(scratch_ + "/elsewhere").empty());
    EXPECT_TRUE(opened_.empty());

    if (::geteuid() == 0) {
        fs::remove(launchFolder());
        fs::create_directories(launchFolder());
        ASSERT_EQ(::chown(launchFolder().c_str(), 65534, 65534), 0);
        const auto foreign = session_launcher::open(project_, "x", system_);
        ASSERT_FALSE(foreign);
        EXPECT_EQ(foreign.error().code, "launchFolder");
        EXPECT_TRUE(filesIn(launchFolder()).empty());
    }

    temporary_ = scratch_ + "/a-file";
    ASSERT_TRUE(writeFileAtomically(temporary_, ""));
    EXPECT_FALSE(session_launcher::open(project_, "x", system_));
}

// Runs the launch scripts for real, as a terminal would: executed directly, so the interpreter
// line counts, with a home whose login files put a stand-in `claude` on the search path.
class LaunchScriptRunTest : public SessionLauncherTest {
  protected:
    void SetUp() override {
        SessionLauncherTest::SetUp();
        home_ = scratch_ + "/home";
        const std::string bin = scratch_ + "/bin";
        fs::create_directories(home_);
        fs::create_directories(bin);
        const std::string profile = "PATH='" + bin + "':\"$PATH\"; export PATH\n";
        ASSERT_TRUE(writeFileAtomically(home_ + "/.profile", profile));
        ASSERT_TRUE(writeFileAtomically(home_ + "/.zprofile", profile));
        ASSERT_TRUE(writeFileAtomically(bin + "/claude",
                                        "#!/bin/sh\n"
                                        "pwd -P > '" +
                                            scratch_ +
                                            "/cwd'\n"
                                            "for a in \"$@\"; do printf '%s\\0' \"$a\"; done > '" +
                                            scratch_ + "/args'\n",
                                        0755));
    }

    int run(const std::string& script) {
        std::vector<std::string> environment{"HOME=" + home_, "PATH=/usr/bin:/bin",
                                             "LC_ALL=C.UTF-8", "TERM=dumb"};
        std::vector<char*> argv{const_cast<char*>(script.c_str()), nullptr};
        std::vector<char*> envp;
        for (auto& variable : environment) envp.push_back(variable.data());
        envp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        const std::string log = scratch_ + "/terminal.log";
        posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                         0600);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        pid_t pid = 0;
        const int spawned =
            ::posix_spawn(&pid, script.c_str(), &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        if (spawned != 0) return -1;
        int status = 0;
        ::waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::vector<std::string> claudeArguments() {
        const auto text = readFile(scratch_ + "/args");
        std::vector<std::string> arguments;
        if (!text.ok()) return arguments;
        std::size_t start = 0;
        for (auto end = text->find('\0'); end != std::string::npos;
             start = end + 1, end = text->find('\0', start)) {
            arguments.push_back(text->substr(start, end - start));
        }
        return arguments;
    }

    std::string home_;
};

TEST_F(LaunchScriptRunTest, PromptAndFolderReachClaudeUnchangedAndTheFilesAreGone) {
    const std::string project = scratch_ + "/it's $HOME `id` \"q\" Grüße 🎉\nline two";
    fs::create_directories(project);
    const std::string prompt =
        "Don't touch $PATH or `rm -rf ~` ; echo \"quoted\" \\ * 'single'\n"
        "second line — ü ‑ …\n\n";

    std::vector<std::string> shells{"/bin/bash", "/bin/sh"};
    if (::access("/bin/zsh", X_OK) == 0) shells.push_back("/bin/zsh");
    for (const auto& shell : shells) {
        SCOPED_TRACE(shell);
        system_.loginShell = [shell] { return shell; };
        system_.isExecutable = [shell](const std::string&) { return shell == "/bin/zsh"; };
        opened_.clear();
        ASSERT_TRUE(session_launcher::open(project, prompt, system_));
        ASSERT_EQ(opened_.size(), 1u);

        EXPECT_EQ(run(opened_[0]), 0) << readFile(scratch_ + "/terminal.log").value();
        // Command substitution drops the trailing line feeds, and nothing else.
        EXPECT_EQ(claudeArguments(),
                  (std::vector<std::string>{"--", prompt.substr(0, prompt.size() - 2)}));
        EXPECT_EQ(readFile(scratch_ + "/cwd").value(), fs::canonical(project).string() + "\n");
        EXPECT_TRUE(filesIn(launchFolder()).empty());
        fs::remove(scratch_ + "/args");
    }
}

TEST_F(LaunchScriptRunTest, AVanishedProjectFolderEndsTheScriptAndKeepsBothFiles) {
    const std::string project = scratch_ + "/gone";
    fs::create_directories(project);
    ASSERT_TRUE(session_launcher::open(project, "hello", system_));
    fs::remove(project);

    EXPECT_EQ(run(opened_.at(0)), 1);
    EXPECT_FALSE(fs::exists(scratch_ + "/args")) << "claude must not start";
    EXPECT_EQ(filesIn(launchFolder()).size(), 2u);
}

}  // namespace
}  // namespace brimwick
