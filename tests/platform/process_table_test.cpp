#include "platform/process_table.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/process_probe.h"

namespace brimwick {

TEST(ProcessStatParsingTest, NameAndParentWhateverTheNameHolds) {
    const std::tuple<const char*, const char*, std::int32_t> rows[] = {
        {"4242 (bash) S 4100 4242 4242 34816 0 4194560 1\n", "bash", 4100},
        // A process may name itself anything, including text that looks like more fields.
        {"77 (a) S 1 (b) R 9 3 2) S 4100 77 77 0 -1\n", "a) S 1 (b) R 9 3 2", 4100},
        {"12 (Web Content) S 11 12 12 0", "Web Content", 11},
        {"5 () Z 0 0 0", "", 0},
    };
    for (const auto& [record, name, parent] : rows) {
        const auto stat = parseProcessStat(record);
        ASSERT_TRUE(stat) << record;
        EXPECT_EQ(stat->name, name);
        EXPECT_EQ(stat->parent, parent);
    }
    for (const char* bad :
         {"", "12 bash S 1 2 3", "12 (bash) S", "12 (bash) S x 2 3", "12 (bash) S 1x 2 3",
          "12 (bash)S 1 2 3", "12 )bash( S 1 2 3", "12 (b) S 99999999999 1"}) {
        EXPECT_FALSE(parseProcessStat(bad)) << bad;
    }
}

TEST(LinuxProcessTableTest, ThisProcessItsParentAndAbsentOnes) {
    LinuxProcessTable table;
    EXPECT_EQ(table.parentOf(::getpid()), ::getppid());
    const auto name = table.nameOf(::getpid());
    ASSERT_TRUE(name);
    EXPECT_FALSE(name->empty());
    for (int absent : {-1, 0, 0x7ffffffe}) EXPECT_FALSE(table.parentOf(absent)) << absent;
    EXPECT_FALSE(table.nameOf(0x7ffffffe));
}

TEST(ProcessProbeTest, AliveUntilReapedAndIdsOfNoSingleProcessCountAsAlive) {
    SignalProcessProbe probe;
    for (std::int32_t id : {static_cast<std::int32_t>(::getpid()), 1, 0, -1, INT32_MIN}) {
        EXPECT_TRUE(probe.exists(id)) << id;  // 1: init, whether or not we may signal it
    }
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) _exit(0);
    // Until it is reaped the exited child still holds its id.
    siginfo_t info{};
    ASSERT_EQ(waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOWAIT), 0);
    EXPECT_TRUE(probe.exists(child));
    ASSERT_EQ(waitpid(child, nullptr, 0), child);
    EXPECT_FALSE(probe.exists(child));
}

}  // namespace brimwick
