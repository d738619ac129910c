#include "platform/login_item.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "core/atomic_file.h"
#include "platform/home.h"

namespace brimwick {
namespace {

namespace fs = std::filesystem;

class LoginItemTest : public ::testing::Test {
  protected:
    void SetUp() override {
        config = fs::temp_directory_path() / ("brimwick-login-" + std::to_string(::getpid()));
        fs::remove_all(config);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::permissions(config / "autostart", fs::perms::owner_all, ignored);
        fs::remove_all(config, ignored);
    }
    fs::path config;
};

TEST(LoginItemFolder, NamesTheFolderInUseWithTheHomeFolderAsTilde) {
    const std::string home = homeDirectory();
    EXPECT_EQ(XdgAutostartLoginItem(home + "/.config", "b").folder(), "~/.config/autostart");
    EXPECT_EQ(XdgAutostartLoginItem("/srv/config", "b").folder(), "/srv/config/autostart");
    // A sibling whose name starts like the home folder is not inside it.
    EXPECT_EQ(XdgAutostartLoginItem(home + "x", "b").folder(), home + "x/autostart");
}

TEST_F(LoginItemTest, EnablingWritesTheAutostartEntryAndDisablingRemovesIt) {
    XdgAutostartLoginItem item(config.string(), "/opt/brimwick/bin/brimwick");
    EXPECT_FALSE(item.enabled());
    ASSERT_TRUE(item.setEnabled(true).ok());
    EXPECT_TRUE(item.enabled());
    EXPECT_EQ(item.path(), (config / "autostart/brimwick.desktop").string());
    const auto entry = readFile(item.path());
    ASSERT_TRUE(entry.ok());
    EXPECT_NE(entry->find("\nExec=/opt/brimwick/bin/brimwick\n"), std::string::npos);
    EXPECT_EQ(entry->rfind("[Desktop Entry]\n", 0), 0u);

    ASSERT_TRUE(item.setEnabled(false).ok());
    EXPECT_FALSE(item.enabled());
    EXPECT_TRUE(item.setEnabled(false).ok());  // already off is fine
}

TEST_F(LoginItemTest, ExecValueIsQuotedAndEscaped) {
    const auto exec = [](const std::string& path) {
        const auto entry = XdgAutostartLoginItem::desktopEntry(path);
        const auto start = entry.find("Exec=") + 5;
        return entry.substr(start, entry.find('\n', start) - start);
    };
    EXPECT_EQ(exec("/home/a b/brimwick"), "\"/home/a b/brimwick\"");
    EXPECT_EQ(exec("/x/100%/brimwick"), "/x/100%%/brimwick");
    EXPECT_EQ(exec("/x/$HOME/b"), "\"/x/\\\\$HOME/b\"");
    EXPECT_EQ(exec("/x/back\\slash"), "\"/x/back\\\\\\\\slash\"");
}

TEST_F(LoginItemTest, UnwritableFolderReportsTheSystemError) {
    fs::create_directories(config / "autostart");
    fs::permissions(config / "autostart", fs::perms::owner_read | fs::perms::owner_exec);
    if (::access((config / "autostart").c_str(), W_OK) == 0) {
        GTEST_SKIP() << "running with privileges that ignore folder permissions";
    }
    XdgAutostartLoginItem item(config.string(), "/usr/bin/brimwick");
    const auto result = item.setEnabled(true);
    ASSERT_FALSE(result.ok());
    EXPECT_NE(result.error().message.find("Permission denied"), std::string::npos);
    EXPECT_FALSE(item.enabled());
}

TEST_F(LoginItemTest, AFileWhereTheFolderShouldBeIsAnError) {
    fs::create_directories(config);
    ASSERT_TRUE(writeFileAtomically((config / "autostart").string(), "not a folder").ok());
    XdgAutostartLoginItem item(config.string(), "/usr/bin/brimwick");
    EXPECT_FALSE(item.setEnabled(true).ok());
}

}  // namespace
}  // namespace brimwick
