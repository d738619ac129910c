#include "sessions/session_focus.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <map>
#include <memory>

#include "platform/terminal_opener.h"
#include "support/x_test_client.h"
#include "support/xvfb_display.h"

namespace brimwick {
namespace {

struct FakeProcessTable final : ProcessTable {
    struct Record {
        std::int32_t parent;
        std::string name;
    };
    std::map<std::int32_t, Record> records;
    mutable int reads = 0;

    std::optional<std::int32_t> parentOf(std::int32_t pid) const override {
        ++reads;
        const auto found = records.find(pid);
        if (found == records.end()) return std::nullopt;
        return found->second.parent;
    }
    std::optional<std::string> nameOf(std::int32_t pid) const override {
        const auto found = records.find(pid);
        if (found == records.end()) return std::nullopt;
        return found->second.name;
    }
};

struct FakeWindowList final : WindowList {
    std::vector<TopLevelWindow> list;
    std::vector<std::uint32_t> activated;
    bool activationWorks = true;

    std::vector<TopLevelWindow> windows() override { return list; }
    bool activate(std::uint32_t window) override {
        activated.push_back(window);
        return activationWorks;
    }
};

struct CountingBeeper final : Beeper {
    int beeps = 0;
    void beep() override { ++beeps; }
};

class SessionFocusTest : public ::testing::Test {
  protected:
    // A chain of processes: each id's parent is the next one, the last one's parent is 1.
    void chain(const std::vector<std::int32_t>& ids) {
        for (std::size_t i = 0; i < ids.size(); ++i) {
            const std::int32_t parent = i + 1 < ids.size() ? ids[i + 1] : 1;
            processes.records[ids[i]] = {parent, "proc" + std::to_string(ids[i])};
        }
        processes.records[1] = {0, "init"};
    }

    FakeProcessTable processes;
    FakeWindowList windows;
    CountingBeeper beeper;
    SessionFocus focus{processes, windows};
};

TEST_F(SessionFocusTest, FindsTheNearestAncestorThatOwnsAWindow) {
    chain({500, 400, 300, 200});  // claude, shell, terminal, session manager
    windows.list = {{11, 200, "Session"}, {12, 300, "XTerm"}, {13, 300, "Other"}};

    const auto app = focus.hostApp(500);
    ASSERT_TRUE(app);
    EXPECT_EQ(*app, (HostApp{300, "XTerm", {12, 13}}));
    EXPECT_EQ(focus.hostApp(300)->pid, 300) << "the process itself may own the window";
}

TEST_F(SessionFocusTest, NamesTheAppByWindowClassElseByProcessName) {
    chain({500, 300, 301});
    windows.list = {{12, 300, ""}, {13, 300, "Konsole"}, {14, 301, ""}};
    EXPECT_EQ(focus.hostAppName(500), "Konsole");

    windows.list = {{14, 301, ""}};
    EXPECT_EQ(focus.hostAppName(500), "proc301");

    processes.records[301].name = "";
    EXPECT_EQ(focus.hostAppName(500), std::nullopt);
    EXPECT_TRUE(focus.hostApp(500)) << "an app without a name is still an app";
    EXPECT_EQ(focus.hostAppName(std::nullopt), std::nullopt);
}

TEST_F(SessionFocusTest, TheWalkEndsAtTheFirstProcessesAndAtBrokenRecords) {
    chain({500, 400});
    windows.list = {{1, 1, "Init"}, {2, 0, "Kernel"}};
    EXPECT_FALSE(focus.hostApp(500)) << "ancestors up to process 1 own no window";
    EXPECT_FALSE(focus.hostApp(1));
    EXPECT_FALSE(focus.hostApp(0));
    EXPECT_FALSE(focus.hostApp(-42));

    processes.records[600] = {600, "loop"};
    windows.list.push_back({3, 601, "Unreachable"});
    processes.reads = 0;
    EXPECT_FALSE(focus.hostApp(600)) << "a process that is its own parent";
    EXPECT_EQ(processes.reads, 1);

    processes.records[700] = {701, "orphan"};  // 701 has vanished
    EXPECT_FALSE(focus.hostApp(700));
    EXPECT_FALSE(focus.hostApp(999)) << "no record at all";
}

TEST_F(SessionFocusTest, ExaminesAtMostThirtyTwoProcesses) {
    std::vector<std::int32_t> ids;
    for (std::int32_t pid = 1000; pid < 1040; ++pid) ids.push_back(pid);
    chain(ids);

    windows.list = {{7, 1031, "Far"}};  // the 32nd process examined
    EXPECT_EQ(focus.hostAppName(1000), "Far");

    windows.list = {{7, 1032, "TooFar"}};  // would be the 33rd
    processes.reads = 0;
    EXPECT_FALSE(focus.hostApp(1000));
    EXPECT_EQ(processes.reads, 32);
}

TEST_F(SessionFocusTest, BringingForwardActivatesEveryWindowOfTheHostTopmostLast) {
    chain({500, 300});
    windows.list = {{21, 300, "XTerm"}, {22, 999, "Other"}, {23, 300, "XTerm"}};
    AgentSession session;
    session.hostPID = 500;

    EXPECT_TRUE(focus.bringForward(session, beeper));
    EXPECT_EQ(windows.activated, (std::vector<std::uint32_t>{21, 23}));
    EXPECT_EQ(beeper.beeps, 0);
}

TEST_F(SessionFocusTest, BeepsWhenTheTerminalCannotBeBroughtForward) {
    chain({500, 300});
    AgentSession session;
    EXPECT_FALSE(focus.bringForward(session, beeper)) << "no host process id";
    EXPECT_EQ(beeper.beeps, 1);

    session.hostPID = 500;
    EXPECT_FALSE(focus.bringForward(session, beeper)) << "no host application";
    EXPECT_EQ(beeper.beeps, 2);

    windows.list = {{21, 300, "XTerm"}};
    windows.activationWorks = false;
    EXPECT_FALSE(focus.bringForward(session, beeper)) << "the desktop could not be asked";
    EXPECT_EQ(beeper.beeps, 3);
    EXPECT_EQ(windows.activated, (std::vector<std::uint32_t>{21}));
}

// A real terminal on a virtual display: xterm runs a shell that runs `sleep`. The sleep's id is
// all a session knows, like the process id that a hook reports.
class SessionFocusOnXvfbTest : public ::testing::Test {
  protected:
    void SetUp() override {
        xvfb_ = std::make_unique<testing::XvfbDisplay>();
        if (!xvfb_->available()) GTEST_SKIP() << "No virtual X server: " << xvfb_->problem();
        const char* path = std::getenv("PATH");
        const auto xterm = findExecutable("xterm", path ? path : "/usr/bin:/bin");
        if (!xterm) GTEST_SKIP() << "xterm is not installed";
        client_ = std::make_unique<testing::XTestClient>(xvfb_->name());
        ASSERT_TRUE(client_->connected());
        client_->selectRootEvents(XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY);

        std::string folder = (std::filesystem::temp_directory_path() / "brimwick-focus-XXXXXX");
        folder_ = ::mkdtemp(folder.data());
        const std::string fifo = folder_ + "/sleeper";
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
        const int report = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);

        const std::string display = "DISPLAY=" + xvfb_->name();
        std::vector<std::string> arguments{"xterm", "-e", "/bin/sh", "-c",
                                           "sleep 600 & echo $! > '" + fifo + "'; wait"};
        std::vector<std::string> environment{display, "PATH=/usr/bin:/bin", "LC_ALL=C"};
        std::vector<char*> argv, envp;
        for (auto& argument : arguments) argv.push_back(argument.data());
        for (auto& variable : environment) envp.push_back(variable.data());
        argv.push_back(nullptr);
        envp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        const int spawned =
            ::posix_spawn(&terminal_, xterm->c_str(), &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        ASSERT_EQ(spawned, 0);

        // Both waits are for events (a line in the FIFO, a map on the display), never a timer.
        std::string line;
        pollfd wait{report, POLLIN, 0};
        while (line.find('\n') == std::string::npos && ::poll(&wait, 1, 20000) > 0) {
            char buffer[32];
            const ssize_t n = ::read(report, buffer, sizeof buffer);
            if (n <= 0) break;
            line.append(buffer, static_cast<std::size_t>(n));
        }
        ::close(report);
        ASSERT_NE(line.find('\n'), std::string::npos) << "xterm never ran its shell";
        sleeper_ = std::stoi(line);
        windows_ = std::make_unique<X11WindowList>(xvfb_->name());
        // Map notifications queue up from the moment they were selected, so one that came
        // before this point is still seen.
        const bool mapped = client_->waitForEvent([](const xcb_generic_event_t& event) {
            return (event.response_type & 0x7f) == XCB_MAP_NOTIFY;
        });
        ASSERT_TRUE(mapped) << "xterm never showed its window";
    }

    void TearDown() override {
        if (sleeper_ > 0) ::kill(sleeper_, SIGTERM);
        if (terminal_ > 0) {
            ::kill(terminal_, SIGTERM);
            ::waitpid(terminal_, nullptr, 0);
        }
        windows_.reset();
        client_.reset();
        xvfb_.reset();
        if (!folder_.empty()) std::filesystem::remove_all(folder_);
    }

    std::unique_ptr<testing::XvfbDisplay> xvfb_;
    std::unique_ptr<testing::XTestClient> client_;
    std::unique_ptr<X11WindowList> windows_;
    std::string folder_;
    pid_t terminal_ = -1;
    pid_t sleeper_ = -1;
};

TEST_F(SessionFocusOnXvfbTest, FindsNamesAndRaisesTheTerminalOfADescendant) {
    LinuxProcessTable processes;
    SessionFocus focus(processes, *windows_);

    const auto app = focus.hostApp(sleeper_);
    ASSERT_TRUE(app) << "no host found for " << sleeper_;
    EXPECT_EQ(app->pid, terminal_);
    EXPECT_EQ(app->name, "XTerm");
    ASSERT_EQ(app->windows.size(), 1u);

    // Something else on top, as when the user has moved on to another window.
    testing::XTestClient::WindowSpec cover;
    cover.windowClass = "Cover";
    const auto other = client_->createWindow(cover);
    ASSERT_EQ(client_->stackingOrder().back(), other);

    CountingBeeper beeper;
    EXPECT_TRUE(focus.bringForward(sleeper_, beeper));
    client_->sync();
    EXPECT_EQ(client_->stackingOrder().back(), app->windows.front());
    EXPECT_EQ(beeper.beeps, 0);

    EXPECT_FALSE(focus.bringForward(static_cast<std::int32_t>(::getpid()), beeper))
        << "this test program owns no window";
    EXPECT_EQ(beeper.beeps, 1);
}

}  // namespace
}  // namespace brimwick
