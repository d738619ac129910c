#include "platform/json_file_preferences.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <filesystem>
#include <fstream>

#include "core/atomic_file.h"

namespace brimwick {
namespace {

namespace fs = std::filesystem;

class JsonFilePreferencesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "brimwick-prefs-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        path_ = (root_ / "brimwick" / "preferences.json").string();
    }
    void TearDown() override { fs::remove_all(root_); }

    static mode_t modeOf(const std::string& path) {
        struct stat info = {};
        EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
        return info.st_mode & 07777;
    }

    fs::path root_;
    std::string path_;
};

TEST_F(JsonFilePreferencesTest, TheFileIsOnlyEverReadableByItsOwner) {
    // Even a permissive umask must not open the tokens to other users.
    const mode_t previous = ::umask(0);
    {
        JsonFilePreferences preferences(path_);
        preferences.setValue("phoneDevices", {{"0123abcd", "Pixel"}});
    }
    ::umask(previous);
    EXPECT_EQ(modeOf(path_), 0600u);
    EXPECT_EQ(modeOf((root_ / "brimwick").string()), 0700u);
    EXPECT_EQ(JsonFilePreferences(path_).value("phoneDevices"),
              nlohmann::json({{"0123abcd", "Pixel"}}));
}

TEST_F(JsonFilePreferencesTest, AnExistingWorldReadableFileIsClosedOffWhenLoaded) {
    fs::create_directories(root_ / "brimwick");
    std::ofstream(path_) << R"({"phoneDevices": {"feedface": "Pixel"}, "phoneEnabled": true})";
    ::chmod(path_.c_str(), 0644);

    JsonFilePreferences preferences(path_);
    EXPECT_EQ(modeOf(path_), 0600u);  // before any write
    EXPECT_EQ(preferences.value("phoneEnabled"), nlohmann::json(true));

    ::chmod(path_.c_str(), 0666);
    preferences.setValue("phoneEnabled", false);
    preferences.flush();
    EXPECT_EQ(modeOf(path_), 0600u);
    EXPECT_EQ(JsonFilePreferences(path_).value("phoneDevices"),
              nlohmann::json({{"feedface", "Pixel"}}));
}

TEST_F(JsonFilePreferencesTest, AMalformedFileCountsAsEmptyAndIsReplacedAtTheNextWrite) {
    fs::create_directories(root_ / "brimwick");
    std::ofstream(path_) << "[1, 2";
    JsonFilePreferences preferences(path_);
    EXPECT_EQ(preferences.value("phoneEnabled"), std::nullopt);
    EXPECT_FALSE(preferences.boolValue("phoneEnabled", false));
    preferences.setValue("phoneProjects", nlohmann::json::array({"/src/app"}));
    preferences.flush();
    EXPECT_EQ(nlohmann::json::parse(*readFile(path_)),
              nlohmann::json({{"phoneProjects", {"/src/app"}}}));
}

TEST_F(JsonFilePreferencesTest, CopiesLeftByAKilledWriteAreSweptAtTheNextWrite) {
    fs::create_directories(root_ / "brimwick");
    const std::string abandoned = path_ + ".tmp-Ab12Cd";
    std::ofstream(abandoned) << R"({"phoneDevices": {"feedface": "Pixel"}})";
    JsonFilePreferences preferences(path_);
    preferences.setValue("phoneEnabled", true);
    preferences.flush();
    EXPECT_FALSE(fs::exists(abandoned));
    EXPECT_EQ(JsonFilePreferences(path_).value("phoneEnabled"), nlohmann::json(true));
}

TEST_F(JsonFilePreferencesTest, ABurstOfChangesIsGatheredAndTheLastOneIsWrittenAtExit) {
    std::atomic<int> writes{0};
    auto counting = [&](const std::string& path, const std::string& data,
                        std::optional<mode_t> mode) {
        ++writes;
        return writeFileAtomically(path, data, mode);
    };
    {
        JsonFilePreferences preferences(path_, /*minInterval=*/3600, counting);
        for (int i = 0; i <= 1000; ++i) preferences.setValue("phoneProjects", i);
        preferences.flush();
        EXPECT_LE(writes, 2);  // the first at once, the rest together
        EXPECT_EQ(JsonFilePreferences(path_).value("phoneProjects"), nlohmann::json(1000));
        preferences.setValue("phoneEnabled", true);
    }  // within the interval, yet written on the way out
    EXPECT_LE(writes, 3);
    EXPECT_EQ(JsonFilePreferences(path_).value("phoneEnabled"), nlohmann::json(true));
}

}  // namespace
}  // namespace brimwick
