#include "phone/recent_projects.h"

#include <gtest/gtest.h>

#include <set>

#include "support/memory_preferences.h"

namespace brimwick {
namespace {

using nlohmann::json;

class RecentProjectsTest : public ::testing::Test {
  protected:
    RecentProjects make() {
        return RecentProjects(
            preferences,
            [this](const std::string& folder, const std::string& prompt) {
                launches.emplace_back(folder, prompt);
                return launchResult;
            },
            [this](const std::string& path) { return directories.count(path) > 0; });
    }
    int writes() const { return static_cast<int>(preferences.writes().size()); }

    testing::MemoryPreferences preferences;
    std::set<std::string> directories;
    std::vector<std::pair<std::string, std::string>> launches;
    Result<void> launchResult;
};

TEST_F(RecentProjectsTest, KeptMostRecentFirstAndAtMostEight) {
    auto projects = make();
    projects.note(std::nullopt);
    projects.note("");
    projects.note(std::string(4097, 'p'));
    EXPECT_EQ(writes(), 0);
    for (int i = 1; i <= 9; ++i) projects.note("/src/p" + std::to_string(i));
    projects.note("/src/p9");  // already first: no write
    EXPECT_EQ(writes(), 9);
    projects.note("/src/p4");  // moves to the front
    EXPECT_EQ(preferences.value("phoneProjects"),
              json({"/src/p4", "/src/p9", "/src/p8", "/src/p7", "/src/p6", "/src/p5", "/src/p3",
                    "/src/p2"}));
}

TEST_F(RecentProjectsTest, StoredListsAreCleanedOrIgnoredWhenRead) {
    preferences = testing::MemoryPreferences(
        {{"phoneProjects", json::array({std::string(4097, 'p'), "/src/app", "", "/src/web"})}});
    EXPECT_EQ(make().list(), (std::vector<std::string>{"/src/app", "/src/web"}));
    EXPECT_EQ(preferences.value("phoneProjects"), json({"/src/app", "/src/web"}));
    preferences = testing::MemoryPreferences({{"phoneProjects", json::array({"/a", 3})}});
    EXPECT_TRUE(make().list().empty());
    EXPECT_EQ(writes(), 0);
}

TEST_F(RecentProjectsTest, NewSessionsOnlyStartInKnownFoldersThatStillExist) {
    auto projects = make();
    for (const char* folder : {"/src/weather", "/src/gone"}) projects.note(folder);
    directories = {"/src/weather", "/src/elsewhere"};
    const Outcome unknown{false, "Brimwick doesn't know that folder any more."};
    EXPECT_EQ(projects.start("/src/elsewhere", "go"), unknown);
    EXPECT_EQ(projects.start("/src/gone", "go"), unknown);
    EXPECT_EQ(projects.start("/src/weather/", "go"), unknown);
    EXPECT_TRUE(launches.empty());

    EXPECT_EQ(projects.start("/src/weather", "Add a test"),
              (Outcome{true, "Starting a new session in weather in a terminal."}));
    EXPECT_EQ(launches, (decltype(launches){{"/src/weather", "Add a test"}}));
    launchResult = Error{"noTerminal", "No terminal emulator found"};
    EXPECT_EQ(projects.start("/src/weather", "again"),
              (Outcome{false, "Couldn't open a terminal: No terminal emulator found"}));
}

}  // namespace
}  // namespace brimwick
