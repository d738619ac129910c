#include "platform/host_name.h"

#include <gtest/gtest.h>

namespace brimwick {

TEST(HostNameTest, PrettyNameOfMachineInfo) {
    const std::pair<const char*, std::optional<std::string>> rows[] = {
        {"PRETTY_HOSTNAME=Workbench\n", "Workbench"},
        {"CHASSIS=laptop\nPRETTY_HOSTNAME=\"Ada's Laptop\"\nDEPLOYMENT=x\n", "Ada's Laptop"},
        {"PRETTY_HOSTNAME='Lab \"B\" box'", "Lab \"B\" box"},
        {"  PRETTY_HOSTNAME = \"Spaced\"  \r\n", "Spaced"},
        {"PRETTY_HOSTNAME=\"Say \\\"hi\\\" \\\\ bye\"", "Say \"hi\" \\ bye"},
        {"PRETTY_HOSTNAME=Bare\\ words and more   ", "Bare words and more"},
        {"PRETTY_HOSTNAME=\"Zoë’s Mac\"", "Zoë’s Mac"},
        {"PRETTY_HOSTNAME=\"  padded  \"", "  padded  "},  // quoted white space is kept
        {"PRETTY_HOSTNAME=one\\ ", "one "},
        {"PRETTY_HOSTNAME=First\nPRETTY_HOSTNAME=Second\n", "Second"},  // the last one wins
        {"", std::nullopt},
        {"PRETTY_HOSTNAME=\n", std::nullopt},
        {"PRETTY_HOSTNAME=\"\"\n", std::nullopt},
        {"# PRETTY_HOSTNAME=Commented\n", std::nullopt},
        {"MY_PRETTY_HOSTNAME=Other\nPRETTY_HOSTNAMES=Plural\n", std::nullopt},
        {"PRETTY_HOSTNAME\n", std::nullopt},
    };
    for (const auto& [text, name] : rows) EXPECT_EQ(prettyHostName(text), name) << text;
    const auto local = localHostName();
    ASSERT_TRUE(local.has_value());
    EXPECT_FALSE(local->empty());
}

}  // namespace brimwick
