#include "platform/host_name.h"

#include <gtest/gtest.h>

namespace brimwick {
namespace {

TEST(HostNameTest, PrettyNameIsReadFromItsAssignment) {
    EXPECT_EQ(prettyHostName("PRETTY_HOSTNAME=Workbench\n"), "Workbench");
    EXPECT_EQ(prettyHostName("CHASSIS=laptop\nPRETTY_HOSTNAME=\"Ada's Laptop\"\nDEPLOYMENT=x\n"),
              "Ada's Laptop");
    EXPECT_EQ(prettyHostName("PRETTY_HOSTNAME='Lab \"B\" box'"), "Lab \"B\" box");
    EXPECT_EQ(prettyHostName("  PRETTY_HOSTNAME = \"Spaced\"  \r\n"), "Spaced");
    EXPECT_EQ(prettyHostName("PRETTY_HOSTNAME=\"Say \\\"hi\\\" \\\\ bye\""), "Say \"hi\" \\ bye");
    EXPECT_EQ(prettyHostName("PRETTY_HOSTNAME=Bare\\ words and more   "), "Bare words and more");
    EXPECT_EQ(prettyHostName("PRETTY_HOSTNAME=\"Zoë’s Mac\""), "Zoë’s Mac");
}

TEST(HostNameTest, QuotedWhiteSpaceIsKeptBareWhiteSpaceAtTheEndIsNot) {
    EXPECT_EQ(prettyHostName("PRETTY_HOSTNAME=\"  padded  \""), "  padded  ");
    EXPECT_EQ(prettyHostName("PRETTY_HOSTNAME=one\\ "), "one ");
}

TEST(HostNameTest, NoUsableAssignmentGivesNothing) {
    EXPECT_EQ(prettyHostName(""), std::nullopt);
    EXPECT_EQ(prettyHostName("PRETTY_HOSTNAME=\n"), std::nullopt);
    EXPECT_EQ(prettyHostName("PRETTY_HOSTNAME=\"\"\n"), std::nullopt);
    EXPECT_EQ(prettyHostName("# PRETTY_HOSTNAME=Commented\n"), std::nullopt);
    EXPECT_EQ(prettyHostName("MY_PRETTY_HOSTNAME=Other\nPRETTY_HOSTNAMES=Plural\n"), std::nullopt);
    EXPECT_EQ(prettyHostName("PRETTY_HOSTNAME\n"), std::nullopt);
}

TEST(HostNameTest, TheLastAssignmentWins) {
    EXPECT_EQ(prettyHostName("PRETTY_HOSTNAME=First\nPRETTY_HOSTNAME=Second\n"), "Second");
}

TEST(HostNameTest, TheMachineHasSomeName) {
    const auto name = localHostName();
    ASSERT_TRUE(name.has_value());
    EXPECT_FALSE(name->empty());
}

}  // namespace
}  // namespace brimwick
