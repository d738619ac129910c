#include "hooks/hook_server.h"

#include <gtest/gtest.h>

#include <thread>

#include "support/hook_recorder.h"
#include "support/raw_client.h"

namespace brimwick {
namespace {

using testing::postRequest;
using testing::RawClient;

const std::string kPayload =
    R"({"hook_event_name":"PreToolUse","session_id":"s1","tool_name":"Bash"})";
const std::string kHead = "Connection: close\r\nContent-Type: text/plain\r\n";
const std::string k204 = "HTTP/1.1 204 No Content\r\n" + kHead + "\r\n";
const std::string k403 = "HTTP/1.1 403 Forbidden\r\n" + kHead + "Content-Length: 0\r\n\r\n";
const std::string k400 = "HTTP/1.1 400 Bad Request\r\n" + kHead + "Content-Length: 0\r\n\r\n";
std::string ok(const std::string& body) {
    return "HTTP/1.1 200 OK\r\n" + kHead + "Content-Length: " + std::to_string(body.size()) +
           "\r\n\r\n" + body;
}

class HookServerTest : public ::testing::Test {
  protected:
    void SetUp() override { start(); }
    void start(double requestTimeout = 10.0) {
        server = std::make_unique<HookServer>(
            recorder.callbacks(), HookServer::Options{.port = 0, .requestTimeout = requestTimeout});
        ASSERT_TRUE(server->start().ok());
    }
    std::string exchange(const std::string& request) {
        RawClient client(server->port());
        client.send(request);
        return client.readAll();
    }

    testing::HookRecorder recorder;
    std::unique_ptr<HookServer> server;
};

TEST_F(HookServerTest, AnswersEveryRequestByItsRules) {
    ASSERT_TRUE(testing::eventually([&] { return !recorder.statuses().empty(); }));
    EXPECT_EQ(recorder.statuses()[0], "Listening on 127.0.0.1:" + std::to_string(server->port()));
    const std::string json = "Content-Type: application/json\r\n";
    const std::pair<std::string, std::string> rows[] = {
        {"GET /anything HTTP/1.1\r\nOrigin: http://evil\r\n\r\n", ok("Brimwick is listening\n")},
        {"post /hook HTTP/1.1\r\n" + json + "\r\n", ok("Brimwick is listening\n")},
        // Browsers (any Origin) and other content types are turned away.
        {postRequest("/hook", kPayload, "ORIGIN: null\r\n" + json), k403},
        {postRequest("/permission", kPayload, json + "origin:x\r\n"), k403},
        {postRequest("/hook", kPayload, "Content-Type: text/plain\r\n"), k403},
        {postRequest("/hook", kPayload, ""), k403},
        {postRequest("/hook", kPayload, "Content-Type: Application/JSON\r\n"), k403},
        {"POST /hook HTTP/1.1\r\nContent-Length: -1\r\n\r\n", k400},
        // Bodies that are no event are answered but not delivered; deep suggestions would
        // exhaust the stack of whoever copied them.
        {postRequest("/permission", "{\"hook_event_name\":\"\xff\"}"), k204},
        {postRequest("/permission", R"({"hook_event_name":"PermissionRequest","session_id":"s",)"
                                    R"("permission_suggestions":)" +
                                        std::string(100'000, '[') + std::string(100'000, ']') +
                                        "}"),
         k204}};
    for (const auto& [request, answer] : rows) EXPECT_EQ(exchange(request), answer) << request;
    for (const std::string body : {"", "[]", "3", "{", "{\"session_id\":\"x\"}", "\"text\""}) {
        for (const char* path : {"/hook", "/permission", "/stop"}) {
            EXPECT_EQ(exchange(postRequest(path, body)), k204) << path << body;
        }
    }
    EXPECT_EQ(exchange(postRequest("/hook", kPayload,
                                   "content-TYPE: application/json; charset=utf-8\r\n")),
              k204);
    ASSERT_TRUE(recorder.waitForCalls(1));
    const auto calls = recorder.calls();
    ASSERT_EQ(calls.size(), 1u) << "only the last request was an event";
    EXPECT_EQ(calls[0].kind, "event");
    EXPECT_EQ(calls[0].event.name, "PreToolUse");
    EXPECT_EQ(calls[0].event.sessionId, "s1");
}

TEST_F(HookServerTest, RoutesByCaseSensitivePathPrefix) {
    const std::pair<const char*, std::vector<std::string>> rows[] = {
        {"/hook", {"event"}},
        {"/anything", {"event"}},
        {"/permission", {"event", "permission"}},
        {"/permissions", {"event", "permission"}},
        {"/permission?x=1", {"event", "permission"}},
        {"/stop", {"stop"}},
        {"/stopped", {"stop"}},
        {"/Stop", {"event"}},
        {"/PERMISSION", {"event"}},
        {"/hook/permission", {"event"}}};
    std::size_t expected = 0;
    for (const auto& [path, kinds] : rows) {
        RawClient client(server->port());
        client.send(postRequest(path, kPayload));
        expected += kinds.size();
        ASSERT_TRUE(recorder.waitForCalls(expected)) << path;
        const auto calls = recorder.calls();
        for (std::size_t i = 0; i < kinds.size(); ++i) {
            EXPECT_EQ(calls[expected - kinds.size() + i].kind, kinds[i]) << path;
        }
        if (calls.back().reply) calls.back().reply(std::nullopt);
        EXPECT_EQ(client.readAll(), k204) << path;
    }
}

TEST_F(HookServerTest, ProcessIdComesFromItsHeaderOnly) {
    const std::pair<std::string, std::optional<std::int32_t>> rows[] = {
        {"X-Claude-PID: 4242", 4242},
        {"x-claude-pid: +4242", 4242},
        {"X-Claude-PID: 2", 2},
        {"X-Claude-PID: 1", std::nullopt},
        {"X-Claude-PID: 0", std::nullopt},
        {"X-Claude-PID: -5", std::nullopt},
        {"X-Claude-PID: abc", std::nullopt},
        {"X-Claude-PID:", std::nullopt},
        {"X-Claude-PID: 2147483647", 2147483647},
        {"X-Claude-PID: 2147483648", std::nullopt},
        {"X-Claude-PID: 12 34", std::nullopt},
        {"X-Other: 1", std::nullopt}};
    const std::string body = R"({"hook_event_name":"Stop","hostPID":77,"X-Claude-PID":"77"})";
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        exchange(postRequest("/hook", body,
                             "Content-Type: application/json\r\n" + rows[i].first + "\r\n"));
        ASSERT_TRUE(recorder.waitForCalls(i + 1));
        EXPECT_EQ(recorder.calls()[i].event.hostPID, rows[i].second) << rows[i].first;
    }
}

TEST_F(HookServerTest, HeldRequestsWaitForTheFirstReplyFromAnyThread) {
    server.reset();
    start(0.05);
    RawClient permission(server->port()), silent(server->port()), invalid(server->port());
    permission.send(postRequest("/permission", kPayload));
    ASSERT_TRUE(recorder.waitForCalls(2));
    silent.send(postRequest("/stop", kPayload));
    ASSERT_TRUE(recorder.waitForCalls(3));
    invalid.send(postRequest("/stop", kPayload));
    ASSERT_TRUE(recorder.waitForCalls(4));
    const auto calls = recorder.calls();
    // Well past the request timeout the held connection is still open.
    EXPECT_FALSE(permission.waitForClose(0.3));
    const std::string answer = R"({"hookSpecificOutput":{"decision":{"behavior":"allow"}}})";
    std::thread([reply = calls[1].reply, answer] {
        reply(answer);
        reply(std::string("second reply is ignored"));
    }).join();
    EXPECT_EQ(permission.readAll(), ok(answer));
    calls[2].reply(std::nullopt);
    calls[3].reply(std::string("\xc3\x28"));
    EXPECT_EQ(silent.readAll(), k204);
    EXPECT_EQ(invalid.readAll(), k204);

    // An incomplete request is closed after the timeout.
    RawClient slow(server->port());
    slow.send("POST /hook HTTP/1.1\r\nContent-Length: 10\r\n\r\n{");
    EXPECT_TRUE(slow.waitForClose());
    EXPECT_TRUE(testing::eventually([&] { return server->openConnections() == 0; }, 5));
}

TEST_F(HookServerTest, ReplyAfterTheClientLeftOrTheServerWentIsHarmless) {
    {
        RawClient client(server->port());
        client.send(postRequest("/permission", kPayload));
        ASSERT_TRUE(recorder.waitForCalls(2));
    }
    recorder.calls()[1].reply(std::string("{}"));
    EXPECT_EQ(exchange(postRequest("/hook", kPayload)), k204) << "the server keeps working";

    RawClient held(server->port());
    held.send(postRequest("/stop", kPayload));
    ASSERT_TRUE(recorder.waitForCalls(4));
    const auto reply = recorder.calls()[3].reply;
    HookServer second(recorder.callbacks(), {.port = server->port()});
    EXPECT_EQ(second.start().error().message, "Address already in use");
    server.reset();
    reply(std::string("{}"));  // nothing is written, nothing crashes
    EXPECT_EQ(held.readAll(1.0), "");
}

TEST_F(HookServerTest, TheLargestBodyIsTakenWhole) {
    const std::string head = R"({"hook_event_name":"Stop","session_id":"big","pad":")";
    const std::string body = head + std::string(33'554'432 - head.size() - 2, 'x') + "\"}";
    RawClient client(server->port());
    client.send(postRequest("/hook", body));
    EXPECT_EQ(client.readAll(60), k204);
    ASSERT_TRUE(recorder.waitForCalls(1));
    EXPECT_EQ(recorder.calls()[0].event.sessionId, "big");
}

}  // namespace
}  // namespace brimwick
