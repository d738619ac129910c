#include "hooks/hook_server.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "support/eventually.h"
#include "support/hook_recorder.h"
#include "support/raw_client.h"

namespace brimwick {
namespace {

using testing::HookRecorder;
using testing::postRequest;
using testing::RawClient;

const std::string kPayload =
    R"({"hook_event_name":"PreToolUse","session_id":"s1","tool_name":"Bash"})";
const std::string k204 =
    "HTTP/1.1 204 No Content\r\nConnection: close\r\nContent-Type: text/plain\r\n\r\n";
const std::string k403 =
    "HTTP/1.1 403 Forbidden\r\nConnection: close\r\nContent-Type: text/plain\r\n"
    "Content-Length: 0\r\n\r\n";
const std::string k400 =
    "HTTP/1.1 400 Bad Request\r\nConnection: close\r\nContent-Type: text/plain\r\n"
    "Content-Length: 0\r\n\r\n";

class HookServerTest : public ::testing::Test {
  protected:
    void SetUp() override { startServer({}); }

    void startServer(HookServer::Options options) {
        options.port = 0;
        server = std::make_unique<HookServer>(recorder.callbacks(), options);
        ASSERT_TRUE(server->start().ok());
    }

    // Sends one request and reads the whole answer.
    // `timeout` only bounds a failing wait; sanitizer builds need longer for the biggest bodies.
    std::string exchange(const std::string& request, double timeout = 5.0) {
        RawClient client(server->port());
        client.send(request);
        return client.readAll(timeout);
    }

    HookRecorder recorder;
    std::unique_ptr<HookServer> server;
};

TEST_F(HookServerTest, ReportsListeningWithItsPort) {
    ASSERT_TRUE(recorder.waitForStatus(1));
    EXPECT_EQ(recorder.statuses()[0], "Listening on 127.0.0.1:" + std::to_string(server->port()));
}

TEST_F(HookServerTest, AnyMethodOtherThanPostGetsTheListeningText) {
    const std::string expected =
        "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Type: text/plain\r\n"
        "Content-Length: 22\r\n\r\nBrimwick is listening\n";
    EXPECT_EQ(exchange("GET /anything HTTP/1.1\r\nOrigin: http://evil\r\n\r\n"), expected);
    EXPECT_EQ(exchange("post /hook HTTP/1.1\r\nContent-Type: application/json\r\n\r\n"), expected);
    EXPECT_TRUE(recorder.calls().empty());
}

TEST_F(HookServerTest, BrowserOriginsAndOtherContentTypesAreForbidden) {
    EXPECT_EQ(exchange(postRequest("/hook", kPayload,
                                   "ORIGIN: null\r\nContent-Type: application/json\r\n")),
              k403);
    EXPECT_EQ(exchange(postRequest("/permission", kPayload,
                                   "Content-Type: application/json\r\norigin:x\r\n")),
              k403);
    EXPECT_EQ(exchange(postRequest("/hook", kPayload, "Content-Type: text/plain\r\n")), k403);
    EXPECT_EQ(exchange(postRequest("/hook", kPayload, "")), k403);
    EXPECT_EQ(exchange(postRequest("/hook", kPayload, "Content-Type: Application/JSON\r\n")), k403);
    EXPECT_TRUE(recorder.calls().empty());
}

TEST_F(HookServerTest, OrdinaryEventIsAnsweredWith204AndDelivered) {
    EXPECT_EQ(exchange(postRequest("/hook", kPayload,
                                   "content-TYPE: application/json; charset=utf-8\r\n"
                                   "X-Claude-PID: 4242\r\n")),
              k204);
    ASSERT_TRUE(recorder.waitForCalls(1));
    const auto call = recorder.calls()[0];
    EXPECT_EQ(call.kind, "event");
    EXPECT_EQ(call.event.name, "PreToolUse");
    EXPECT_EQ(call.event.sessionId, "s1");
    EXPECT_EQ(call.event.hostPID, 4242);
}

TEST_F(HookServerTest, UndecodableBodiesAreAnsweredButNotDelivered) {
    for (const std::string body : {"", "[]", "3", "{", "{\"session_id\":\"x\"}", "\"text\""}) {
        EXPECT_EQ(exchange(postRequest("/hook", body)), k204) << body;
        EXPECT_EQ(exchange(postRequest("/permission", body)), k204) << body;
        EXPECT_EQ(exchange(postRequest("/stop", body)), k204) << body;
    }
    // Invalid UTF-8 inside the JSON text.
    EXPECT_EQ(exchange(postRequest("/permission", "{\"hook_event_name\":\"\xff\"}")), k204);
    // Suggestions nested far deeper than any real payload, which would exhaust the stack of
    // whoever copied them.
    const std::string deep =
        R"({"hook_event_name":"PermissionRequest","session_id":"s","permission_suggestions":)" +
        std::string(100'000, '[') + std::string(100'000, ']') + "}";
    EXPECT_EQ(exchange(postRequest("/permission", deep)), k204);
    EXPECT_EQ(exchange(postRequest("/hook", deep)), k204);
    // A valid event afterwards proves nothing was delivered before it.
    exchange(postRequest("/hook", kPayload));
    ASSERT_TRUE(recorder.waitForCalls(1));
    EXPECT_EQ(recorder.calls().size(), 1u);
}

TEST_F(HookServerTest, RoutesByCaseSensitivePathPrefix) {
    struct Case {
        std::string path;
        std::vector<std::string> kinds;
    };
    const std::vector<Case> cases = {
        {"/hook", {"event"}},
        {"/anything", {"event"}},
        {"/permission", {"event", "permission"}},
        {"/permissions", {"event", "permission"}},
        {"/permission?x=1", {"event", "permission"}},
        {"/stop", {"stop"}},
        {"/stopped", {"stop"}},
        {"/Stop", {"event"}},
        {"/PERMISSION", {"event"}},
        {"/hook/permission", {"event"}},
    };
    std::size_t expected = 0;
    for (const auto& c : cases) {
        RawClient client(server->port());
        client.send(postRequest(c.path, kPayload));
        expected += c.kinds.size();
        ASSERT_TRUE(recorder.waitForCalls(expected)) << c.path;
        const auto calls = recorder.calls();
        for (std::size_t i = 0; i < c.kinds.size(); ++i) {
            EXPECT_EQ(calls[expected - c.kinds.size() + i].kind, c.kinds[i]) << c.path;
        }
        if (calls.back().reply) calls.back().reply(std::nullopt);
        EXPECT_EQ(client.readAll(), k204) << c.path;
    }
}

TEST_F(HookServerTest, ProcessIdHeaderRules) {
    const std::vector<std::pair<std::string, std::optional<std::int32_t>>> cases = {
        {"X-Claude-PID: 4242\r\n", 4242},
        {"x-claude-pid: +4242\r\n", 4242},
        {"X-Claude-PID: 2\r\n", 2},
        {"X-Claude-PID: 1\r\n", std::nullopt},
        {"X-Claude-PID: 0\r\n", std::nullopt},
        {"X-Claude-PID: -5\r\n", std::nullopt},
        {"X-Claude-PID: abc\r\n", std::nullopt},
        {"X-Claude-PID:\r\n", std::nullopt},
        {"X-Claude-PID: 2147483647\r\n", 2147483647},
        {"X-Claude-PID: 2147483648\r\n", std::nullopt},
        {"X-Claude-PID: 12 34\r\n", std::nullopt},
        {"", std::nullopt},
    };
    // The header wins over anything in the payload.
    const std::string body = R"({"hook_event_name":"Stop","hostPID":77,"X-Claude-PID":"77"})";
    for (std::size_t i = 0; i < cases.size(); ++i) {
        exchange(postRequest("/hook", body, "Content-Type: application/json\r\n" + cases[i].first));
        ASSERT_TRUE(recorder.waitForCalls(i + 1));
        EXPECT_EQ(recorder.calls()[i].event.hostPID, cases[i].second) << cases[i].first;
    }
}

TEST_F(HookServerTest, HeldPermissionIsAnsweredWithTheReplyBody) {
    RawClient client(server->port());
    client.send(postRequest("/permission", kPayload));
    ASSERT_TRUE(recorder.waitForCalls(2));
    const std::string answer = R"({"hookSpecificOutput":{"decision":{"behavior":"allow"}}})";
    recorder.calls()[1].reply(answer);
    recorder.calls()[1].reply(std::string("second reply is ignored"));
    EXPECT_EQ(client.readAll(),
              "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Type: text/plain\r\n"
              "Content-Length: " +
                  std::to_string(answer.size()) + "\r\n\r\n" + answer);
}

TEST_F(HookServerTest, HeldReplyWithoutBytesOrWithInvalidUtf8Gives204) {
    RawClient first(server->port());
    first.send(postRequest("/stop", kPayload));
    RawClient second(server->port());
    second.send(postRequest("/stop", kPayload));
    ASSERT_TRUE(recorder.waitForCalls(2));
    recorder.calls()[0].reply(std::nullopt);
    recorder.calls()[1].reply(std::string("\xc3\x28"));
    EXPECT_EQ(first.readAll(), k204);
    EXPECT_EQ(second.readAll(), k204);
}

TEST_F(HookServerTest, HeldRequestHasNoServerTimeoutAndReplyMayComeFromAnyThread) {
    server.reset();
    HookServer::Options options;
    options.requestTimeout = 0.05;
    startServer(options);
    RawClient client(server->port());
    client.send(postRequest("/stop", kPayload));
    ASSERT_TRUE(recorder.waitForCalls(1));
    // Well past the request timeout the held connection is still open.
    EXPECT_FALSE(client.waitForClose(0.3));
    std::thread([reply = recorder.calls()[0].reply] { reply(std::string("{}")); }).join();
    EXPECT_EQ(client.readAll(),
              "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Type: text/plain\r\n"
              "Content-Length: 2\r\n\r\n{}");
}

TEST_F(HookServerTest, ReplyAfterTheClientLeftOrTheServerWentIsHarmless) {
    {
        RawClient client(server->port());
        client.send(postRequest("/permission", kPayload));
        ASSERT_TRUE(recorder.waitForCalls(2));
    }
    recorder.calls()[1].reply(std::string("{}"));
    // The server keeps working.
    EXPECT_EQ(exchange(postRequest("/hook", kPayload)), k204);

    RawClient held(server->port());
    held.send(postRequest("/stop", kPayload));
    ASSERT_TRUE(recorder.waitForCalls(4));
    const auto reply = recorder.calls()[3].reply;
    server.reset();
    reply(std::string("{}"));  // nothing is written, nothing crashes
    EXPECT_EQ(held.readAll(1.0), "");
}

TEST_F(HookServerTest, MalformedRequestsGet400) {
    EXPECT_EQ(exchange(std::string(65'537, 'a')), k400);
    EXPECT_EQ(exchange("POST /hook HTTP/1.1\r\nContent-Length: -1\r\n\r\n"), k400);
    EXPECT_EQ(exchange("POST /hook HTTP/1.1\r\nContent-Length: 33554433\r\n\r\n"), k400);
    EXPECT_EQ(exchange("GET / HTTP/1.1\r\nX: \xff\r\n\r\n"), k400);
}

TEST_F(HookServerTest, HeaderSectionOf65536BytesWaitsForMore) {
    RawClient client(server->port());
    client.send(std::string(65'536, 'a'));
    EXPECT_FALSE(client.waitForClose(0.3));
    client.send("a");
    EXPECT_EQ(client.readAll(), k400);
}

TEST_F(HookServerTest, LargestContentLengthIsAccepted) {
    const std::string head = R"({"hook_event_name":"Stop","session_id":"big","pad":")";
    const std::string body = head + std::string(33'554'432 - head.size() - 2, 'x') + "\"}";
    ASSERT_EQ(body.size(), 33'554'432u);
    EXPECT_EQ(exchange(postRequest("/hook", body), 60.0), k204);
    ASSERT_TRUE(recorder.waitForCalls(1));
    EXPECT_EQ(recorder.calls()[0].event.sessionId, "big");
}

TEST_F(HookServerTest, RequestSplitIntoManySegmentsParsesTheSame) {
    const std::string request = postRequest("/hook", kPayload,
                                            "Content-Type: application/json\r\n"
                                            "X-Claude-PID: 99\r\n");
    RawClient client(server->port());
    const auto blank = request.find("\r\n\r\n");
    // Byte by byte through the blank line, then the rest in two pieces.
    for (std::size_t i = 0; i < blank + 4; ++i) client.send(request.substr(i, 1));
    client.send(request.substr(blank + 4, 5));
    client.send(request.substr(blank + 9));
    EXPECT_EQ(client.readAll(), k204);
    ASSERT_TRUE(recorder.waitForCalls(1));
    EXPECT_EQ(recorder.calls()[0].event.hostPID, 99);
    EXPECT_EQ(recorder.calls()[0].event.toolName, "Bash");
}

TEST_F(HookServerTest, ClientThatLeavesEarlyGetsNoAnswer) {
    RawClient client(server->port());
    client.send("POST /hook HTTP/1.1\nContent-Length: 2\n\n{}");  // bare line feeds
    client.shutdownWrite();
    EXPECT_EQ(client.readAll(), "");
    EXPECT_TRUE(client.closed());
    EXPECT_TRUE(recorder.calls().empty());
}

TEST_F(HookServerTest, IncompleteRequestIsClosedAfterTheTimeout) {
    server.reset();
    HookServer::Options options;
    options.requestTimeout = 0.1;
    startServer(options);
    RawClient client(server->port());
    client.send("POST /hook HTTP/1.1\r\nContent-Length: 10\r\n\r\n{");
    EXPECT_TRUE(client.waitForClose(5.0));
    EXPECT_EQ(client.readAll(0.1), "");
    // The client may see the close a moment before the server has counted it.
    EXPECT_TRUE(testing::eventually([&] { return server->openConnections() == 0; }, 5));
}

TEST_F(HookServerTest, PortAlreadyTakenFailsToStartWithTheSystemText) {
    HookRecorder other;
    HookServer::Options options;
    options.port = server->port();
    HookServer second(other.callbacks(), options);
    const auto started = second.start();
    ASSERT_FALSE(started.ok());
    EXPECT_EQ(started.error().message, "Address already in use");
}

}  // namespace
}  // namespace brimwick
