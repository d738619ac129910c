// The installed hook commands run exactly as Claude Code runs them: `/bin/sh -c '<command>'`
// started by the agent's process, the payload on standard input, the answer read from standard
// output. The test process plays the agent, so $PPID must arrive as its own process id.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <future>

#include "hooks/hook_installer.h"
#include "support/child_process.h"
#include "support/hook_recorder.h"

namespace brimwick {
namespace {

struct Run {
    testing::ShellResult result;
    double seconds;
};

// Runs an event's command with the fixed port swapped for `port`, on a thread of its own.
std::future<Run> runHook(std::string_view event, std::uint16_t port) {
    std::string command = hook_installer::command(event);
    const std::string fixed = "127.0.0.1:" + std::to_string(hook_commands::kPort) + "/";
    command.replace(command.find(fixed), fixed.size(), "127.0.0.1:" + std::to_string(port) + "/");
    const std::string payload =
        nlohmann::json{{"session_id", "9e900432-ab61-4e27-9b9f-a7e00f0035ee"},
                       {"cwd", "/home/dana/src/weather"},
                       {"hook_event_name", event},
                       {"tool_name", "Bash"},
                       {"tool_input", {{"command", "make build"}}}}
            .dump();
    return std::async(std::launch::async, [command, payload] {
        const auto started = std::chrono::steady_clock::now();
        auto result = testing::runShell(command, payload);
        return Run{
            result,
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count()};
    });
}

// A loopback port that is bound but never answers: refusing connections, or with `listening`,
// accepting them into a backlog that no one reads.
struct DeadPort {
    explicit DeadPort(bool listening) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        if (listening) ::listen(fd, 8);
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
        port = ntohs(address.sin_port);
    }
    ~DeadPort() { ::close(fd); }
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    std::uint16_t port = 0;
};

class HookContractTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (::access("/usr/bin/curl", X_OK) != 0 && ::access("/bin/curl", X_OK) != 0)
            GTEST_SKIP() << "curl is not installed";
    }
};

TEST_F(HookContractTest, EveryCommandDeliversItsPayloadAndPrintsTheAnswer) {
    testing::HookRecorder recorder;
    HookServer server(recorder.callbacks(), {.port = 0});
    ASSERT_TRUE(server.start().ok());
    const std::string allow =
        R"({"hookSpecificOutput":{"hookEventName":"PermissionRequest","decision":)"
        R"({"behavior":"allow","updatedPermissions":[{"type":"setMode","mode":"acceptEdits"}]}}})";
    const std::string block = R"({"decision":"block","reason":"Now add tests — ünïcode/ok"})";
    struct Row {
        std::string_view event;
        std::string kind;
        std::optional<std::string> answer;  // no answer: empty output, Claude Code asks itself
    };
    std::vector<Row> rows = {{"PermissionRequest", "permission", allow},
                             {"PermissionRequest", "permission", std::nullopt},
                             {"Stop", "stop", block},
                             {"Stop", "stop", std::nullopt}};
    for (const auto event : hook_installer::events) {
        if (event != "PermissionRequest" && event != "Stop") rows.push_back({event, "event", ""});
    }
    std::size_t seen = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.event);
        auto run = runHook(row.event, server.port());
        // A permission request is also reported as an ordinary event first; find the held one.
        std::optional<testing::HookRecorder::Call> call;
        while (!call && recorder.waitForCalls(seen + 1)) {
            const auto calls = recorder.calls();
            for (; seen < calls.size() && !call; ++seen) {
                if (calls[seen].kind == row.kind) call = calls[seen];
            }
        }
        ASSERT_TRUE(call);
        EXPECT_EQ(call->event.name, row.event);
        EXPECT_EQ(call->event.sessionId, "9e900432-ab61-4e27-9b9f-a7e00f0035ee");
        EXPECT_EQ(call->event.cwd, "/home/dana/src/weather");
        EXPECT_EQ(call->event.hostPID, static_cast<std::int32_t>(::getpid()));
        if (call->reply) call->reply(row.answer);
        const auto result = run.get().result;
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.output, row.answer.value_or(""));
    }
}

TEST_F(HookContractTest, WithNoServerAnsweringEveryCommandEndsQuietlyWithinItsLimits) {
    DeadPort refusing(false);
    for (const auto event : hook_installer::events) {
        const auto run = runHook(event, refusing.port).get();
        EXPECT_EQ(run.result.status, 0) << event;
        EXPECT_EQ(run.result.output, "") << event;
        EXPECT_LT(run.seconds, 1) << event;
    }
    // A server that never answers: the ordinary command gives up after its one-second limit,
    // well inside the three seconds Claude Code allows it.
    DeadPort silent(true);
    const auto run = runHook("PreToolUse", silent.port).get();
    EXPECT_EQ(run.result.status, 0);
    EXPECT_EQ(run.result.output, "");
    EXPECT_GE(run.seconds, 0.9);
    EXPECT_LT(run.seconds, hook_commands::timeoutFor("PreToolUse"));
}

}  // namespace
}  // namespace brimwick
