#include "app/hooks_cli.h"

#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "core/atomic_file.h"
#include "support/scratch_folder.h"

namespace brimwick {
namespace {

using nlohmann::json;

class HooksCliTest : public ::testing::Test {
  protected:
    // Status, standard output and standard error of `brimwick hooks <words>`.
    std::tuple<int, std::string, std::string> run(std::vector<std::string> words) {
        std::vector<char*> argv;
        for (auto& word : words) argv.push_back(word.data());
        std::ostringstream out, err;
        const int status = runHooksCli(static_cast<int>(argv.size()), argv.data(), out, err, home);
        return {status, out.str(), err.str()};
    }
    std::string settings() { return readFile(path).ok() ? *readFile(path) : ""; }

    testing::ScratchFolder scratch{"brimwick-hooks-cli"};
    const std::string home = scratch.path().string(), path = home + "/.claude/settings.json";
};

TEST_F(HooksCliTest, InstallStatusRemoveRoundTrip) {
    std::filesystem::create_directories(home + "/.claude");
    const std::string original = R"({"model": "opus", "permissions": {"allow": ["Read"]}})";
    std::ofstream(path) << original;
    EXPECT_EQ(run({"status"}), std::make_tuple(0, "not installed\n", ""));
    EXPECT_EQ(
        run({"install"}),
        std::make_tuple(0,
                        "Connected to Claude Code\nHooks were added to " + path +
                            " and your previous file was saved as settings.json.brimwick-backup. "
                            "Running and new Claude Code sessions will now appear in the island at "
                            "the top of the screen.\n",
                        ""));
    EXPECT_EQ(std::get<1>(run({"status"})), "installed\n");
    json outdated = json::parse(settings());
    outdated["hooks"]["Stop"][0]["hooks"][0]["command"] = "curl 127.0.0.1:47821/stop";
    std::ofstream(path) << outdated.dump();
    EXPECT_EQ(std::get<1>(run({"status"})), "installed (outdated)\n");
    EXPECT_EQ(run({"remove"}), std::make_tuple(0, "", ""));
    EXPECT_EQ(json::parse(settings()), json::parse(original));
    EXPECT_EQ(std::get<1>(run({"status"})), "not installed\n");
}

TEST_F(HooksCliTest, FailuresAndBadUsage) {
    for (const auto& words :
         std::vector<std::vector<std::string>>{{}, {"instal"}, {"install", "extra"}}) {
        const auto [status, out, err] = run(words);
        EXPECT_EQ(status, 2);
        EXPECT_NE(err.find("usage: brimwick hooks"), std::string::npos);
    }
    EXPECT_FALSE(std::filesystem::exists(path));

    std::filesystem::create_directories(home + "/.claude");
    std::ofstream(path) << "{ not json";
    const std::string description =
        "~/.claude/settings.json isn't valid JSON or has an unexpected hooks layout, so Brimwick "
        "left it alone. Fix the file and try again.\n";
    EXPECT_EQ(run({"install"}), std::make_tuple(1, "", "Couldn't install hooks\n" + description));
    EXPECT_EQ(run({"remove"}), std::make_tuple(1, "", "Couldn't remove hooks\n" + description));
    EXPECT_EQ(settings(), "{ not json");
    EXPECT_EQ(std::get<1>(run({"status"})), "not installed\n");
}

}  // namespace
}  // namespace brimwick
