#include "app/hooks_cli.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

namespace brimwick {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

class HooksCliTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = fs::temp_directory_path() / "brimwick-hooks-cli-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        home_ = pattern;
        settings_ = home_ + "/.claude/settings.json";
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(home_, ignored);
    }

    Outcome run(std::vector<std::string> words) {
        std::vector<char*> argv;
        for (auto& word : words) argv.push_back(word.data());
        std::ostringstream out, err;
        Outcome outcome;
        outcome.status = runHooksCli(static_cast<int>(argv.size()), argv.data(), out, err, home_);
        outcome.out = out.str();
        outcome.err = err.str();
        return outcome;
    }

    // Runs the real executable the way a person would, with HOME pointing at the scratch home.
    Outcome runBinary(const std::vector<std::string>& words) {
        const std::string outPath = home_ + "/stdout", errPath = home_ + "/stderr";
        const pid_t child = ::fork();
        if (child == 0) {
            ::setenv("HOME", home_.c_str(), 1);
            if (!std::freopen(outPath.c_str(), "w", stdout) ||
                !std::freopen(errPath.c_str(), "w", stderr)) {
                ::_exit(127);
            }
            std::vector<char*> argv{const_cast<char*>(BRIMWICK_BINARY)};
            for (const auto& word : words) argv.push_back(const_cast<char*>(word.c_str()));
            argv.push_back(nullptr);
            ::execv(BRIMWICK_BINARY, argv.data());
            ::_exit(127);
        }
        Outcome outcome;
        int status = 0;
        ::waitpid(child, &status, 0);
        outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        outcome.out = contents(outPath);
        outcome.err = contents(errPath);
        return outcome;
    }

    std::string home_;
    std::string settings_;
};

TEST_F(HooksCliTest, InstallStatusRemoveRoundTrip) {
    fs::create_directories(home_ + "/.claude");
    const std::string original = R"({"model": "opus", "permissions": {"allow": ["Read"]}})";
    std::ofstream(settings_) << original;

    EXPECT_EQ(run({"status"}).out, "not installed\n");

    const Outcome installed = run({"install"});
    EXPECT_EQ(installed.status, 0);
    EXPECT_EQ(installed.out,
              "Connected to Claude Code\nHooks were added to " + settings_ +
                  " and your previous file was saved as settings.json.brimwick-backup. Running "
                  "and new Claude Code sessions will now appear in the island at the top of the "
                  "screen.\n");
    EXPECT_EQ(installed.err, "");
    EXPECT_EQ(run({"status"}).out, "installed\n");

    json outdated = json::parse(contents(settings_));
    outdated["hooks"]["Stop"][0]["hooks"][0]["command"] = "curl 127.0.0.1:47821/stop";
    std::ofstream(settings_) << outdated.dump();
    EXPECT_EQ(run({"status"}).out, "installed (outdated)\n");

    const Outcome removed = run({"remove"});
    EXPECT_EQ(removed.status, 0);
    EXPECT_EQ(removed.out + removed.err, "");
    EXPECT_EQ(json::parse(contents(settings_)), json::parse(original));
    EXPECT_EQ(run({"status"}).out, "not installed\n");
}

TEST_F(HooksCliTest, FailuresPrintTitleAndDescriptionAndExitOne) {
    fs::create_directories(home_ + "/.claude");
    std::ofstream(settings_) << "{ not json";
    const std::string description =
        "~/.claude/settings.json isn't valid JSON or has an unexpected hooks layout, so Brimwick "
        "left it alone. Fix the file and try again.\n";

    const Outcome install = run({"install"});
    EXPECT_EQ(install.status, 1);
    EXPECT_EQ(install.out, "");
    EXPECT_EQ(install.err, "Couldn't install hooks\n" + description);

    const Outcome remove = run({"remove"});
    EXPECT_EQ(remove.status, 1);
    EXPECT_EQ(remove.err, "Couldn't remove hooks\n" + description);

    EXPECT_EQ(contents(settings_), "{ not json");
    EXPECT_EQ(run({"status"}).out, "not installed\n");
}

TEST_F(HooksCliTest, BadUsageIsRejected) {
    for (const auto& words :
         std::vector<std::vector<std::string>>{{}, {"instal"}, {"install", "extra"}}) {
        const Outcome outcome = run(words);
        EXPECT_EQ(outcome.status, 2);
        EXPECT_NE(outcome.err.find("usage: brimwick hooks"), std::string::npos);
    }
    EXPECT_FALSE(fs::exists(settings_));
}

TEST_F(HooksCliTest, TheExecutableDispatchesHooksCommands) {
    fs::create_directories(home_ + "/.claude");
    const std::string original = R"({"env": {"A": "b/c"}, "model": "sonnet"})";
    std::ofstream(settings_) << original;

    const Outcome installed = runBinary({"hooks", "install"});
    EXPECT_EQ(installed.status, 0) << installed.err;
    EXPECT_TRUE(installed.out.starts_with("Connected to Claude Code\n"));
    EXPECT_EQ(runBinary({"hooks", "status"}).out, "installed\n");
    EXPECT_EQ(runBinary({"hooks", "remove"}).status, 0);
    EXPECT_EQ(json::parse(contents(settings_)), json::parse(original));
    EXPECT_TRUE(fs::exists(home_ + "/.claude/settings.json.brimwick-backup"));

    std::ofstream(settings_) << "[]";
    const Outcome failed = runBinary({"hooks", "install"});
    EXPECT_EQ(failed.status, 1);
    EXPECT_TRUE(failed.err.starts_with("Couldn't install hooks\n"));
}

}  // namespace
}  // namespace brimwick
