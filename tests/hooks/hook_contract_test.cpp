// The installed hook commands run exactly as Claude Code runs them: `/bin/sh -c '<command>'`
// started by the agent's process, the payload on standard input, the answer read from standard
// output. The test process plays the agent, so $PPID must arrive as its own process id.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

#include "hooks/hook_installer.h"
#include "hooks/hook_server.h"
#include "support/hook_recorder.h"

namespace brimwick {
namespace {

using testing::HookRecorder;

// The command text with the fixed port swapped for the test server's.
std::string commandOnPort(std::string_view event, std::uint16_t port) {
    std::string command = hook_installer::command(event);
    const std::string fixed = "127.0.0.1:" + std::to_string(hook_commands::kPort) + "/";
    const auto at = command.find(fixed);
    EXPECT_NE(at, std::string::npos);
    command.replace(at, fixed.size(), "127.0.0.1:" + std::to_string(port) + "/");
    return command;
}

std::string payloadFor(std::string_view event) {
    return nlohmann::json{{"session_id", "9e900432-ab61-4e27-9b9f-a7e00f0035ee"},
                          {"transcript_path", "/home/dana/.claude/projects/x.jsonl"},
                          {"cwd", "/home/dana/src/weather"},
                          {"hook_event_name", event},
                          {"tool_name", "Bash"},
                          {"tool_input", {{"command", "make build"}}}}
        .dump();
}

// One run of a hook command, as the agent starts it.
class HookRun {
  public:
    HookRun(const std::string& command, const std::string& payload) {
        int input[2], output[2];
        if (::pipe2(input, O_CLOEXEC) != 0 || ::pipe2(output, O_CLOEXEC) != 0) return;
        started_ = std::chrono::steady_clock::now();
        pid_ = ::fork();
        if (pid_ == 0) {
            // Only async-signal-safe calls: the test process has a server thread running.
            ::dup2(input[0], 0);
            ::dup2(output[1], 1);
            ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(input[0]);
        ::close(output[1]);
        std::string_view rest = payload;
        while (!rest.empty()) {
            const ssize_t n = ::write(input[1], rest.data(), rest.size());
            if (n <= 0) break;
            rest.remove_prefix(static_cast<std::size_t>(n));
        }
        ::close(input[1]);
        output_ = output[0];
    }

    // Reads the output to its end and waits for the exit; gives the exit status.
    int finish() {
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(output_, buffer, sizeof buffer)) > 0) {
            stdout_.append(buffer, static_cast<std::size_t>(n));
        }
        ::close(output_);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        seconds_ =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    const std::string& output() const { return stdout_; }
    double seconds() const { return seconds_; }

  private:
    pid_t pid_ = -1;
    int output_ = -1;
    std::string stdout_;
    std::chrono::steady_clock::time_point started_;
    double seconds_ = 0;
};

// The `curl -m` limit written into each command.
double curlLimit(std::string_view event) {
    if (event == "PermissionRequest") return 120;
    if (event == "Stop") return 10;
    return 1;
}

class HookContractTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (::access("/usr/bin/curl", X_OK) != 0 && ::access("/bin/curl", X_OK) != 0) {
            GTEST_SKIP() << "curl is not installed";
        }
    }
};

TEST_F(HookContractTest, EveryCommandDeliversItsPayloadWithTheAgentsProcessId) {
    HookRecorder recorder;
    HookServer server(recorder.callbacks(), {.port = 0});
    ASSERT_TRUE(server.start().ok());

    std::size_t expected = 0;
    for (const auto event : hook_installer::events) {
        if (event == "PermissionRequest" || event == "Stop") continue;
        HookRun run(commandOnPort(event, server.port()), payloadFor(event));
        EXPECT_EQ(run.finish(), 0) << event;
        EXPECT_EQ(run.output(), "") << event;
        ASSERT_TRUE(recorder.waitForCalls(++expected)) << event;
        const auto call = recorder.calls().back();
        EXPECT_EQ(call.kind, "event");
        EXPECT_EQ(call.event.name, event);
        EXPECT_EQ(call.event.sessionId, "9e900432-ab61-4e27-9b9f-a7e00f0035ee");
        EXPECT_EQ(call.event.cwd, "/home/dana/src/weather");
        EXPECT_EQ(call.event.hostPID, static_cast<std::int32_t>(::getpid())) << event;
    }
}

TEST_F(HookContractTest, PermissionAndStopCommandsPrintTheServersAnswer) {
    HookRecorder recorder;
    HookServer server(recorder.callbacks(), {.port = 0});
    ASSERT_TRUE(server.start().ok());

    struct Case {
        std::string_view event;
        std::string kind;
        std::optional<std::string> answer;
    };
    const std::string allow =
        R"({"hookSpecificOutput":{"hookEventName":"PermissionRequest","decision":)"
        R"({"behavior":"allow","updatedPermissions":[{"type":"setMode","mode":"acceptEdits"}]}}})";
    const std::string block = R"({"decision":"block","reason":"Now add tests — ünïcode/ok"})";
    const std::vector<Case> cases = {{"PermissionRequest", "permission", allow},
                                     {"PermissionRequest", "permission", std::nullopt},
                                     {"Stop", "stop", block},
                                     {"Stop", "stop", std::nullopt}};
    std::size_t seen = 0;
    for (const auto& each : cases) {
        HookRun run(commandOnPort(each.event, server.port()), payloadFor(each.event));
        // A permission request is also reported as an ordinary event first; find the held one.
        std::optional<HookRecorder::Call> held;
        while (!held && recorder.waitForCalls(seen + 1)) {
            const auto calls = recorder.calls();
            for (; seen < calls.size() && !held; ++seen) {
                if (calls[seen].kind == each.kind) held = calls[seen];
            }
        }
        ASSERT_TRUE(held) << each.event;
        const auto& call = *held;
        EXPECT_EQ(call.event.name, each.event);
        EXPECT_EQ(call.event.hostPID, static_cast<std::int32_t>(::getpid()));
        call.reply(each.answer);
        EXPECT_EQ(run.finish(), 0) << each.event;
        // No answer means empty output, which lets Claude Code ask in the terminal.
        EXPECT_EQ(run.output(), each.answer.value_or("")) << each.event;
    }
}

// A TCP port on loopback that refuses connections: bound, never listening.
class RefusingPort {
  public:
    RefusingPort() {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
            port_ = ntohs(address.sin_port);
        }
    }
    ~RefusingPort() { ::close(fd_); }
    std::uint16_t port() const { return port_; }

  private:
    int fd_ = -1;
    std::uint16_t port_ = 0;
};

TEST_F(HookContractTest, WithNothingListeningEveryCommandEndsQuietlyAndSucceeds) {
    RefusingPort nobody;
    ASSERT_NE(nobody.port(), 0);
    for (const auto event : hook_installer::events) {
        HookRun run(commandOnPort(event, nobody.port()), payloadFor(event));
        EXPECT_EQ(run.finish(), 0) << event;
        EXPECT_EQ(run.output(), "") << event;
        EXPECT_LT(run.seconds(), curlLimit(event)) << event;
    }
}

TEST_F(HookContractTest, ASilentServerIsCutOffByCurlBeforeTheHookTimeout) {
    // Listens but never answers: the ordinary command gives up after its one-second limit,
    // well inside the three seconds Claude Code allows it.
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(fd, 8), 0);
    ASSERT_EQ(::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length), 0);

    HookRun run(commandOnPort("PreToolUse", ntohs(address.sin_port)), payloadFor("PreToolUse"));
    EXPECT_EQ(run.finish(), 0);
    EXPECT_EQ(run.output(), "");
    EXPECT_GE(run.seconds(), 0.9);
    EXPECT_LT(run.seconds(), hook_commands::timeoutFor("PreToolUse"));
    ::close(fd);
}

}  // namespace
}  // namespace brimwick
