#include "core/json_input.h"

#include <gtest/gtest.h>

#include <string>

namespace brimwick {
namespace {

std::string nested(std::size_t levels, const std::string& inner = "1") {
    return std::string(levels, '[') + inner + std::string(levels, ']');
}

TEST(JsonInput, NestingIsBoundedOutsideStringsOnly) {
    struct Row {
        const char* name;
        std::string text;
        bool within;
    };
    const Row rows[] = {
        {"at the bound", nested(4), true},
        {"one past the bound", nested(5), false},
        {"objects count like arrays", R"({"a":{"b":{"c":{"d":{"e":1}}}}})", false},
        {"siblings do not add up", "[[[[1]]],[[[2]]],[[[3]]]]", true},
        {"brackets inside strings", R"(["[[[[[[[[", "{{{{{{"])", true},
        {"escaped quote keeps the string open", R"(["\"[[[[[[[["])", true},
        {"escaped backslash ends the escape", R"(["\\",[[[[1]]]]])", false},
        {"stray closers do not lend depth", "]]]]]]" + nested(5), false},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(jsonNestsWithin(row.text, 4), row.within) << row.name;
        EXPECT_EQ(parseJsonInput(row.text, 4).is_discarded(), !row.within) << row.name;
    }
}

TEST(JsonInput, AHundredThousandLevelsAreRefusedWithoutRecursion) {
    const auto deep = parseJsonInput(nested(100'000));
    EXPECT_TRUE(deep.is_discarded());
    EXPECT_FALSE(parseJsonInput(nested(kMaxJsonNesting)).is_discarded());
    EXPECT_TRUE(parseJsonInput("{\"a\":").is_discarded());
}

}  // namespace
}  // namespace brimwick
