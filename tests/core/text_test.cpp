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

TEST(TextTest, CharactersAreGraphemeClusters) {
    const std::string family = "\U0001F468\u200D\U0001F469\u200D\U0001F467\u200D\U0001F466";
    const std::string flags = "\U0001F1E9\U0001F1EA\U0001F1EB\U0001F1F7";  // two flags
    const std::string acute = "e\u0301";                                   // e + combining acute
    const std::tuple<std::string, std::size_t, std::string, std::size_t> rows[] = {
        // text, cut at, prefix, characters in text
        {"abc", 2, "ab", 3},
        {"abc", 0, "", 3},
        {"ab", 5, "ab", 2},
        {"", 1, "", 0},
        {"a\r\nb", 2, "a\r\n", 3},
        {"x" + family + "y", 2, "x" + family, 3},
        {flags, 1, "\U0001F1E9\U0001F1EA", 2},
        {acute + acute, 1, acute, 2},
        {"a\xff" + acute, 2, "a\xff", 3}};  // a bad byte is a character of its own
    for (const auto& [text, count, prefix, characters] : rows) {
        EXPECT_EQ(text::prefix(text, count), prefix) << text << " " << count;
        EXPECT_EQ(text::characterCount(text), characters) << text;
    }
}

TEST(TextTest, TrimmingLowerCasingAndValidity) {
    const std::pair<const char*, const char*> trims[] = {{"  a b \t\n", "a b"},
                                                         {"\u3000\u00a0x\u2028", "x"},
                                                         {" \r\n ", ""},
                                                         {"\xff ", "\xff"},
                                                         {"x", "x"}};
    for (const auto& [in, out] : trims) EXPECT_EQ(text::trimmed(in), out) << in;
    EXPECT_EQ(text::lowercased("GR\u00dcSSE \u0130stanbul"), "gr\u00fcsse i\u0307stanbul");
    for (const char* bad : {"\xff", "\xc3(", "\xe2\x82", "\xed\xa0\x80", "\xc0\xaf"})
        EXPECT_FALSE(text::isValidUtf8(bad)) << bad;
    EXPECT_TRUE(text::isValidUtf8("caf\u00e9 \U0001F600"));
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
