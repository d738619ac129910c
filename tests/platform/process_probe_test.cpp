#include "platform/process_probe.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace brimwick {
namespace {

TEST(ProcessProbeTest, RunningProcessesExist) {
    SignalProcessProbe probe;
    EXPECT_TRUE(probe.exists(static_cast<std::int32_t>(getpid())));
    EXPECT_TRUE(probe.exists(1));  // init: alive whether or not we may signal it
}

TEST(ProcessProbeTest, AReapedChildIsGoneButAZombieIsNot) {
    SignalProcessProbe probe;
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

TEST(ProcessProbeTest, IdsThatNameNoSingleProcessCountAsAlive) {
    SignalProcessProbe probe;
    EXPECT_TRUE(probe.exists(0));
    EXPECT_TRUE(probe.exists(-1));
    EXPECT_TRUE(probe.exists(INT32_MIN));
}

}  // namespace
}  // namespace brimwick
