#include "sessions/session_launcher.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <set>

#include "core/atomic_file.h"
#include "support/child_process.h"
#include "support/scratch_folder.h"

namespace brimwick {
namespace {

namespace fs = std::filesystem;
namespace launcher = session_launcher;

mode_t modeOf(const std::string& path) {
    struct stat info {};
    ::lstat(path.c_str(), &info);
    return info.st_mode & 07777;
}

TEST(SessionLauncherScriptTest, InterpreterAndToken) {
    EXPECT_EQ(launcher::interpreter(true, "/bin/bash"), "/bin/zsh");
    // A Bourne login shell runs the script; anything else, or one that can't stand after "#!",
    // gives /bin/sh.
    for (const char* shell : {"/bin/bash", "/usr/bin/zsh", "/bin/dash"})
        EXPECT_EQ(launcher::interpreter(false, shell), shell);
    for (const char* shell :
         {"/usr/bin/fish", "/bin/tcsh", "/usr/sbin/nologin", "", "bash", "/opt/my shells/bash"})
        EXPECT_EQ(launcher::interpreter(false, shell), "/bin/sh") << shell;
    EXPECT_EQ(launcher::quoted("it's"), R"('it'\''s')");

    std::set<std::string> seen;
    for (int i = 0; i < 200; ++i) {
        const auto token = launcher::newToken();
        ASSERT_EQ(token.size(), 8u);
        EXPECT_EQ(token.find_first_not_of("0123456789ABCDEF"), std::string::npos) << token;
        seen.insert(token);
    }
    EXPECT_EQ(seen.size(), 200u);
}

class SessionLauncherTest : public ::testing::Test {
  protected:
    std::vector<std::string> filesIn(const std::string& folder) const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder))
            names.push_back(entry.path().filename().string());
        return names;
    }

    testing::ScratchFolder scratch{"brimwick-launch"};
    const std::string root = scratch.path().string();
    std::string temporary = root + "/tmp", project = root + "/project";
    std::string launchFolder = temporary + "/Brimwick";
    std::vector<std::string> tokens, opened;
    Result<void> terminalResult;
    launcher::System system{[this] { return temporary; }, [](const std::string&) { return false; },
                            [] { return std::string("/bin/bash"); },
                            [this] {
                                if (tokens.empty()) return launcher::newToken();
                                const auto token = tokens.front();
                                tokens.erase(tokens.begin());
                                return token;
                            },
                            [this](const std::string& script) -> Result<void> {
                                opened.push_back(script);
                                return terminalResult;
                            }};
};

TEST_F(SessionLauncherTest, WritesPrivateFilesUnderFreshTokensThenOpensTheScript) {
    fs::create_directories(temporary + "/Brimwick");
    ::chmod(launchFolder.c_str(), 0755);  // left readable by hand: closed up
    tokens = {"0A1B2C3D", "0A1B2C3D", "BBBBBBBB"};
    ASSERT_TRUE(launcher::open(project, "Fix the build", system));
    const std::string prompt = launchFolder + "/prompt-0A1B2C3D.txt";
    const std::string script = launchFolder + "/new-session-0A1B2C3D.command";
    EXPECT_EQ(opened, std::vector<std::string>{script});
    EXPECT_EQ(readFile(prompt).value(), "Fix the build");
    EXPECT_EQ(readFile(script).value(), launcher::script("/bin/bash", project, prompt));
    EXPECT_EQ(modeOf(script), 0700u);
    EXPECT_EQ(modeOf(prompt), 0600u) << "the prompt is the user's own words";
    EXPECT_EQ(modeOf(launchFolder), 0700u);

    // A token in use is drawn again, and after 16 tries the launch gives up.
    system.isExecutable = [](const std::string& path) { return path == "/bin/zsh"; };
    ASSERT_TRUE(launcher::open(project, "second", system));
    EXPECT_EQ(readFile(launchFolder + "/prompt-BBBBBBBB.txt").value(), "second");
    EXPECT_EQ(readFile(launchFolder + "/new-session-BBBBBBBB.command")->substr(0, 15),
              "#!/bin/zsh -il\n");
    system.newToken = [] { return std::string("0A1B2C3D"); };
    ASSERT_FALSE(launcher::open(project, "third", system));
    EXPECT_EQ(readFile(prompt).value(), "Fix the build");
    EXPECT_EQ(filesIn(launchFolder).size(), 4u) << "no temporary files left behind";
}

TEST_F(SessionLauncherTest, FailuresLeaveNoFilesBehind) {
    terminalResult = Error{"noTerminal", "No terminal emulator found"};
    temporary = root + "/deep/er/tmp/";  // parents are created
    launchFolder = root + "/deep/er/tmp/Brimwick";
    const auto noTerminal = launcher::open(project, "hello", system);
    ASSERT_FALSE(noTerminal);
    EXPECT_EQ(noTerminal.error().message, "No terminal emulator found");
    EXPECT_TRUE(filesIn(launchFolder).empty());

    // In a shared temporary folder someone else could swap the script before it runs.
    fs::remove(launchFolder);
    fs::create_directories(root + "/elsewhere");
    fs::create_symlink(root + "/elsewhere", launchFolder);
    const auto throughLink = launcher::open(project, "x", system);
    ASSERT_FALSE(throughLink);
    EXPECT_EQ(throughLink.error().code, "launchFolder");
    EXPECT_TRUE(filesIn(root + "/elsewhere").empty());
    if (::geteuid() == 0) {
        fs::remove(launchFolder);
        fs::create_directories(launchFolder);
        ASSERT_EQ(::chown(launchFolder.c_str(), 65534, 65534), 0);
        EXPECT_EQ(launcher::open(project, "x", system).error().code, "launchFolder");
    }
    temporary = root + "/a-file";
    ASSERT_TRUE(writeFileAtomically(temporary, ""));
    EXPECT_FALSE(launcher::open(project, "x", system));
    EXPECT_EQ(opened.size(), 1u) << "only the first launch reached the terminal";
}

// Runs the scripts as a terminal would: executed directly, so the interpreter line counts, with
// a home whose login files put a stand-in `claude` on the search path.
TEST_F(SessionLauncherTest, ScriptsHandTheUnchangedPromptToClaudeInTheFolder) {
    const std::string home = root + "/home", bin = root + "/bin";
    fs::create_directories(home);
    fs::create_directories(bin);
    const std::string profile = "PATH='" + bin + "':\"$PATH\"; export PATH\n";
    ASSERT_TRUE(writeFileAtomically(home + "/.profile", profile));
    ASSERT_TRUE(writeFileAtomically(home + "/.zprofile", profile));
    ASSERT_TRUE(writeFileAtomically(bin + "/claude",
                                    "#!/bin/sh\npwd -P > '" + root + "/cwd'\nfor a in \"$@\"; do " +
                                        "printf '%s\\0' \"$a\"; done > '" + root + "/args'\n",
                                    0755));
    const auto run = [&](const std::string& script) {
        return testing::runShell("exec env -i HOME='" + home +
                                     "' PATH=/usr/bin:/bin LC_ALL=C.UTF-8 TERM=dumb '" + script +
                                     "' </dev/null >>'" + root + "/log' 2>&1",
                                 "")
            .status;
    };
    const std::string folder = root + "/it's $HOME `id` \"q\" Grüße 🎉\nline two";
    fs::create_directories(folder);
    const std::string prompt =
        "Don't touch $PATH or `rm -rf ~` ; echo \"quoted\" \\ * 'single'\nsecond — ü …\n\n";
    std::vector<std::string> shells{"/bin/bash", "/bin/sh"};
    if (::access("/bin/zsh", X_OK) == 0) shells.push_back("/bin/zsh");
    for (const auto& shell : shells) {
        SCOPED_TRACE(shell);
        system.loginShell = [shell] { return shell; };
        system.isExecutable = [shell](const std::string&) { return shell == "/bin/zsh"; };
        opened.clear();
        ASSERT_TRUE(launcher::open(folder, prompt, system));
        EXPECT_EQ(run(opened.at(0)), 0) << readFile(root + "/log").value();
        // Command substitution drops the trailing line feeds, and nothing else.
        EXPECT_EQ(readFile(root + "/args").value(),
                  std::string("--") + '\0' + prompt.substr(0, prompt.size() - 2) + '\0');
        EXPECT_EQ(readFile(root + "/cwd").value(), fs::canonical(folder).string() + "\n");
        EXPECT_TRUE(filesIn(launchFolder).empty());
        fs::remove(root + "/args");
    }
    // A vanished folder ends the script before claude starts, and keeps both files.
    fs::create_directories(project);
    ASSERT_TRUE(launcher::open(project, "hello", system));
    fs::remove(project);
    EXPECT_EQ(run(opened.back()), 1);
    EXPECT_FALSE(fs::exists(root + "/args"));
    EXPECT_EQ(filesIn(launchFolder).size(), 2u);
}

}  // namespace
}  // namespace brimwick
