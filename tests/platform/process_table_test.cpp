#include "platform/process_table.h"

#include <gtest/gtest.h>
#include <unistd.h>

namespace brimwick {
namespace {

TEST(ProcessStatParsingTest, ReadsNameAndParent) {
    const auto stat = parseProcessStat("4242 (bash) S 4100 4242 4242 34816 0 4194560 1\n");
    ASSERT_TRUE(stat);
    EXPECT_EQ(stat->name, "bash");
    EXPECT_EQ(stat->parent, 4100);
}

TEST(ProcessStatParsingTest, NamesWithSpacesAndParenthesesDoNotShiftTheFields) {
    // A process may name itself anything, including text that looks like more fields.
    const auto tricky = parseProcessStat("77 (a) S 1 (b) R 9 3 2) S 4100 77 77 0 -1\n");
    ASSERT_TRUE(tricky);
    EXPECT_EQ(tricky->name, "a) S 1 (b) R 9 3 2");
    EXPECT_EQ(tricky->parent, 4100);

    const auto spaces = parseProcessStat("12 (Web Content) S 11 12 12 0");
    ASSERT_TRUE(spaces);
    EXPECT_EQ(spaces->name, "Web Content");
    EXPECT_EQ(spaces->parent, 11);

    const auto empty = parseProcessStat("5 () Z 0 0 0");
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->name, "");
    EXPECT_EQ(empty->parent, 0);
}

TEST(ProcessStatParsingTest, RejectsMalformedRecords) {
    EXPECT_FALSE(parseProcessStat(""));
    EXPECT_FALSE(parseProcessStat("12 bash S 1 2 3"));         // no parentheses
    EXPECT_FALSE(parseProcessStat("12 (bash) S"));             // cut before the parent
    EXPECT_FALSE(parseProcessStat("12 (bash) S x 2 3"));       // parent not a number
    EXPECT_FALSE(parseProcessStat("12 (bash) S 1x 2 3"));      // trailing junk in the number
    EXPECT_FALSE(parseProcessStat("12 (bash)S 1 2 3"));        // fields out of place
    EXPECT_FALSE(parseProcessStat("12 )bash( S 1 2 3"));       // parentheses the wrong way
    EXPECT_FALSE(parseProcessStat("12 (b) S 99999999999 1"));  // parent out of range
}

TEST(LinuxProcessTableTest, ReadsThisProcessAndItsParent) {
    LinuxProcessTable table;
    EXPECT_EQ(table.parentOf(::getpid()), ::getppid());
    const auto name = table.nameOf(::getpid());
    ASSERT_TRUE(name);
    EXPECT_FALSE(name->empty());
}

TEST(LinuxProcessTableTest, AbsentProcessesHaveNoRecord) {
    LinuxProcessTable table;
    EXPECT_FALSE(table.parentOf(-1));
    EXPECT_FALSE(table.parentOf(0));  // the scheduler has no /proc entry
    EXPECT_FALSE(table.parentOf(0x7ffffffe));
    EXPECT_FALSE(table.nameOf(0x7ffffffe));
}

}  // namespace
}  // namespace brimwick
