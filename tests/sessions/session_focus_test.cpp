#include "sessions/session_focus.h"

#include <gtest/gtest.h>

#include <map>

namespace brimwick {
namespace {

// The process tree and the desktop's windows, as the test sets them; every question is counted.
struct FakeDesktop final : ProcessTable, WindowList, Beeper {
    std::map<std::int32_t, std::pair<std::int32_t, std::string>> processes;  // parent, name
    std::vector<TopLevelWindow> list;
    std::vector<std::uint32_t> activated;
    bool activationWorks = true;
    mutable int reads = 0;
    int beeps = 0;

    std::optional<std::int32_t> parentOf(std::int32_t pid) const override {
        ++reads;
        const auto found = processes.find(pid);
        return found == processes.end() ? std::nullopt : std::optional(found->second.first);
    }
    std::optional<std::string> nameOf(std::int32_t pid) const override {
        const auto found = processes.find(pid);
        return found == processes.end() ? std::nullopt : std::optional(found->second.second);
    }
    std::vector<TopLevelWindow> windows() override { return list; }
    bool activate(std::uint32_t window) override {
        activated.push_back(window);
        return activationWorks;
    }
    void beep() override { ++beeps; }

    // Each id's parent is the next one; the last one's parent is 1.
    void chain(const std::vector<std::int32_t>& ids) {
        for (std::size_t i = 0; i < ids.size(); ++i)
            processes[ids[i]] = {i + 1 < ids.size() ? ids[i + 1] : 1,
                                 "proc" + std::to_string(ids[i])};
        processes[1] = {0, "init"};
    }
};

class SessionFocusTest : public ::testing::Test {
  protected:
    FakeDesktop desktop;
    SessionFocus focus{desktop, desktop};
};

TEST_F(SessionFocusTest, FindsAndNamesTheNearestAncestorThatOwnsAWindow) {
    desktop.chain({500, 400, 300, 200});  // claude, shell, terminal, session manager
    desktop.list = {{11, 200, "Session"}, {12, 300, "XTerm"}, {13, 300, "Other"}};
    EXPECT_EQ(focus.hostApp(500), (HostApp{300, "XTerm", {12, 13}}));
    EXPECT_EQ(focus.hostApp(300)->pid, 300) << "the process itself may own the window";

    desktop.list = {{12, 300, ""}, {13, 300, "Konsole"}};
    EXPECT_EQ(focus.hostAppName(500), "Konsole") << "the first window class that is not empty";
    desktop.list = {{12, 300, ""}};
    EXPECT_EQ(focus.hostAppName(500), "proc300");
    desktop.processes[300].second = "";
    EXPECT_EQ(focus.hostAppName(500), std::nullopt);
    EXPECT_TRUE(focus.hostApp(500)) << "an app without a name is still an app";
    EXPECT_EQ(focus.hostAppName(std::nullopt), std::nullopt);
}

TEST_F(SessionFocusTest, TheWalkEndsAtTheFirstProcessesBrokenRecordsAndThirtyTwoSteps) {
    desktop.chain({500, 400});
    desktop.list = {{1, 1, "Init"}, {2, 0, "Kernel"}, {3, 601, "Unreachable"}};
    for (const std::int32_t pid : {500, 1, 0, -42, 700, 999})
        EXPECT_FALSE(focus.hostApp(pid)) << pid;
    desktop.processes[600] = {600, "loop"};
    desktop.processes[700] = {701, "orphan"};  // 701 has vanished
    desktop.reads = 0;
    EXPECT_FALSE(focus.hostApp(600)) << "a process that is its own parent";
    EXPECT_EQ(desktop.reads, 1);
    EXPECT_FALSE(focus.hostApp(700));

    std::vector<std::int32_t> ids;
    for (std::int32_t pid = 1000; pid < 1040; ++pid) ids.push_back(pid);
    desktop.chain(ids);
    desktop.list = {{7, 1031, "Far"}};  // the 32nd process examined
    EXPECT_EQ(focus.hostAppName(1000), "Far");
    desktop.list = {{7, 1032, "TooFar"}};
    desktop.reads = 0;
    EXPECT_FALSE(focus.hostApp(1000));
    EXPECT_EQ(desktop.reads, 32);
}

TEST_F(SessionFocusTest, BringingForwardActivatesTheHostsWindowsTopmostLastOrBeeps) {
    desktop.chain({500, 300});
    AgentSession session;
    EXPECT_FALSE(focus.bringForward(session, desktop)) << "no host process id";
    session.hostPID = 500;
    EXPECT_FALSE(focus.bringForward(session, desktop)) << "no host application";
    EXPECT_EQ(desktop.beeps, 2);

    desktop.list = {{21, 300, "XTerm"}, {22, 999, "Other"}, {23, 300, "XTerm"}};
    EXPECT_TRUE(focus.bringForward(session, desktop));
    EXPECT_EQ(desktop.activated, (std::vector<std::uint32_t>{21, 23}));
    EXPECT_EQ(desktop.beeps, 2);

    desktop.activationWorks = false;
    EXPECT_FALSE(focus.bringForward(session, desktop)) << "the desktop could not be asked";
    EXPECT_EQ(desktop.beeps, 3);
}

}  // namespace
}  // namespace brimwick
