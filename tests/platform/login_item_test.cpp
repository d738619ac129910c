#include "platform/login_item.h"

#include <gtest/gtest.h>

#include "core/atomic_file.h"
#include "platform/home.h"
#include "support/scratch_folder.h"

namespace brimwick {

TEST(LoginItemTest, TheAutostartEntryComesAndGoes) {
    const testing::ScratchFolder config("brimwick-login");
    XdgAutostartLoginItem item(config.path().string(), "/opt/brimwick/bin/brimwick");
    EXPECT_FALSE(item.enabled());
    ASSERT_TRUE(item.setEnabled(true).ok());
    EXPECT_TRUE(item.enabled());
    EXPECT_EQ(item.path(), (config.path() / "autostart/brimwick.desktop").string());
    const auto entry = readFile(item.path());
    ASSERT_TRUE(entry.ok());
    EXPECT_NE(entry->find("\nExec=/opt/brimwick/bin/brimwick\n"), std::string::npos);
    EXPECT_EQ(entry->rfind("[Desktop Entry]\n", 0), 0u);
    ASSERT_TRUE(item.setEnabled(false).ok());
    EXPECT_FALSE(item.enabled());
    EXPECT_TRUE(item.setEnabled(false).ok());  // already off is fine

    // A file where the folder should be.
    const testing::ScratchFolder blocked("brimwick-login");
    ASSERT_TRUE(writeFileAtomically((blocked.path() / "autostart").string(), "not a folder").ok());
    XdgAutostartLoginItem stuck(blocked.path().string(), "/usr/bin/brimwick");
    const auto result = stuck.setEnabled(true);
    ASSERT_FALSE(result.ok());
    EXPECT_NE(result.error().message, "");
    EXPECT_FALSE(stuck.enabled());
}

TEST(LoginItemTest, NamesTheFolderInUseWithTheHomeFolderAsTilde) {
    const std::string home = homeDirectory();
    EXPECT_EQ(XdgAutostartLoginItem(home + "/.config", "b").folder(), "~/.config/autostart");
    EXPECT_EQ(XdgAutostartLoginItem("/srv/config", "b").folder(), "/srv/config/autostart");
    // A sibling whose name starts like the home folder is not inside it.
    EXPECT_EQ(XdgAutostartLoginItem(home + "x", "b").folder(), home + "x/autostart");
}

TEST(LoginItemTest, ExecValueIsQuotedAndEscaped) {
    const std::pair<const char*, const char*> rows[] = {
        {"/home/a b/brimwick", "\"/home/a b/brimwick\""},
        {"/x/100%/brimwick", "/x/100%%/brimwick"},
        {"/x/$HOME/b", "\"/x/\\\\$HOME/b\""},
        {"/x/back\\slash", "\"/x/back\\\\\\\\slash\""},
    };
    for (const auto& [path, exec] : rows) {
        const auto entry = XdgAutostartLoginItem::desktopEntry(path);
        const auto start = entry.find("Exec=") + 5;
        EXPECT_EQ(entry.substr(start, entry.find('\n', start) - start), exec);
    }
}

}  // namespace brimwick
