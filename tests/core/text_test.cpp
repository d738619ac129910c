#include "core/text.h"

#include <gtest/gtest.h>

namespace brimwick {
namespace {

TEST(TextTest, DisplayableDropsWhatCouldForgeOrReorderALine) {
    struct Row {
        const char* name;
        std::string in, oneLine, keepingBreaks;
    };
    const Row rows[] = {
        {"plain text stays", "make test ✓", "make test ✓", "make test ✓"},
        {"line breaks", "a\nb\r\nc\rd\u2028e", "a b  c d e", "a\nb\ncd\ne"},
        {"escape sequences", "\x1b[2J\x1b]0;title\x07ok", "[2J]0;titleok", "[2J]0;titleok"},
        {"C1 controls and DEL", "a\u0085b\u009bc\x7f", "a bc", "a\nbc"},
        {"bidirectional overrides", "\u202erm -rf /\u202c\u2066x\u2069", "rm -rf /x", "rm -rf /x"},
        {"invalid UTF-8", "a\xff\xc3(b", "a(b", "a(b"},
        {"tabs", "a\tb", "a b", "a b"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(text::displayable(row.in), row.oneLine) << row.name;
        EXPECT_EQ(text::displayable(row.in, true), row.keepingBreaks) << row.name;
    }
}

TEST(TextTest, LastPathComponentIgnoresTrailingSlashes) {
    const std::pair<const char*, const char*> rows[] = {{"/home/dana/src/weather", "weather"},
                                                        {"/home/dana/src/weather///", "weather"},
                                                        {"relative/dir/", "dir"},
                                                        {"/my project/caf\u00e9", "caf\u00e9"},
                                                        {"weather", "weather"},
                                                        {"///", "/"},
                                                        {"", ""}};
    for (const auto& [path, last] : rows) EXPECT_EQ(text::lastPathComponent(path), last) << path;
}

TEST(TextTest, PercentEncodingKeepsOnlyUnreservedCharacters) {
    EXPECT_EQ(text::percentEncoded("Zoë-Mac_1.~ & Co=1?/"),
              "Zo%C3%AB-Mac_1.~%20%26%20Co%3D1%3F%2F");
}

TEST(TextTest, PrefixBytesNeverSplitsASequence) {
    const std::string text = "a\u00e9\U0001F600";  // 1 + 2 + 4 bytes
    const std::pair<std::size_t, std::string> rows[] = {
        {0, ""}, {1, "a"}, {2, "a"}, {3, "a\u00e9"}, {6, "a\u00e9"}, {7, text}, {100, text}};
    for (const auto& [bytes, expected] : rows) {
        EXPECT_EQ(text::prefixBytes(text, bytes), expected) << bytes;
    }
}

}  // namespace
}  // namespace brimwick
