#include "platform/json_file_preferences.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "core/atomic_file.h"
#include "support/scratch_folder.h"

namespace brimwick {

static mode_t modeOf(const std::filesystem::path& path) {
    struct stat info = {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
}

class JsonFilePreferencesTest : public ::testing::Test {
  protected:
    testing::ScratchFolder scratch{"brimwick-prefs"};
    const std::filesystem::path folder = scratch.path() / "brimwick";
    const std::string path = folder / "preferences.json";
};

TEST_F(JsonFilePreferencesTest, OnlyEverReadableByItsOwnerEvenWhenItWasNot) {
    const mode_t previous = ::umask(0);  // a permissive umask must not open the tokens to others
    JsonFilePreferences(path).setValue("phoneDevices", {{"0123abcd", "Pixel"}});
    ::umask(previous);
    EXPECT_EQ(modeOf(path), 0600u);
    EXPECT_EQ(modeOf(folder), 0700u);
    EXPECT_EQ(JsonFilePreferences(path).value("phoneDevices"),
              nlohmann::json({{"0123abcd", "Pixel"}}));

    ::chmod(path.c_str(), 0644);
    JsonFilePreferences preferences(path);
    EXPECT_EQ(modeOf(path), 0600u);  // when loaded, before any write
    ::chmod(path.c_str(), 0666);
    preferences.setValue("phoneEnabled", false);
    preferences.flush();
    EXPECT_EQ(modeOf(path), 0600u);
    EXPECT_EQ(JsonFilePreferences(path).value("phoneEnabled"), nlohmann::json(false));
}

TEST_F(JsonFilePreferencesTest, AMalformedFileIsEmptyAndCopiesOfAKilledWriteAreSwept) {
    std::filesystem::create_directories(folder);
    std::ofstream(path) << "[1, 2";
    const std::string abandoned = path + ".tmp-Ab12Cd";
    std::ofstream(abandoned) << R"({"phoneDevices": {"feedface": "Pixel"}})";
    JsonFilePreferences preferences(path);
    EXPECT_EQ(preferences.value("phoneEnabled"), std::nullopt);
    EXPECT_FALSE(preferences.boolValue("phoneEnabled", false));
    preferences.setValue("phoneProjects", nlohmann::json::array({"/src/app"}));
    preferences.flush();
    EXPECT_EQ(nlohmann::json::parse(*readFile(path)),
              nlohmann::json({{"phoneProjects", {"/src/app"}}}));
    EXPECT_FALSE(std::filesystem::exists(abandoned));
}

TEST_F(JsonFilePreferencesTest, ABurstOfChangesIsGatheredAndTheLastOneIsWrittenAtExit) {
    std::atomic<int> writes{0};
    auto counting = [&](const std::string& file, const std::string& data,
                        std::optional<mode_t> mode) {
        ++writes;
        return writeFileAtomically(file, data, mode);
    };
    {
        JsonFilePreferences preferences(path, /*minInterval=*/3600, counting);
        for (int i = 0; i <= 1000; ++i) preferences.setValue("phoneProjects", i);
        preferences.flush();
        EXPECT_LE(writes, 2);  // the first at once, the rest together
        EXPECT_EQ(JsonFilePreferences(path).value("phoneProjects"), nlohmann::json(1000));
        preferences.setValue("phoneEnabled", true);
    }  // within the interval, yet written on the way out
    EXPECT_LE(writes, 3);
    EXPECT_EQ(JsonFilePreferences(path).value("phoneEnabled"), nlohmann::json(true));
}

}  // namespace brimwick
