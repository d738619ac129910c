// The phone server over loopback: routes and authentication byte for byte, pairing and its burn
// rule, the long poll and who is watching, and what it hands its owner.
#include "phone/phone_server.h"

#include <regex>

#include "phone/phone_app_page.h"
#include "phone/phone_fixture.h"
#include "support/eventually.h"

namespace brimwick {
namespace {

using nlohmann::json;
using testing::bodyOf;
using testing::httpRequest;
using testing::RawClient;

std::string answer(const std::string& status, const std::string& body = {}) {
    return "HTTP/1.1 " + status +
           "\r\nConnection: close\r\nContent-Type: application/json\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + body;
}

// What the server hands its owner, noted from the server thread as lines.
struct Owner {
    std::mutex mutex;
    std::vector<std::string> heard;
    std::vector<PhoneServer::Reply> replies;
    std::string status;
    std::atomic<bool> refuseNewSessions = false;  // answered on the server thread

    PhoneServer::Callbacks callbacks() {
        const auto note = [this](std::string line, PhoneServer::Reply reply = {}) {
            std::lock_guard lock(mutex);
            heard.push_back(std::move(line));
            if (reply) replies.push_back(std::move(reply));
        };
        return {[=](auto token, auto device) { note("paired " + token + " " + device); },
                [=] { note("burned"); },
                [=](auto id, auto decision, auto reply) { note(id + " " + decision, reply); },
                [=](auto session, auto text, auto reply) { note(session + "|" + text, reply); },
                [=, this](auto folder, auto text, auto reply) {
                    if (refuseNewSessions) return reply(false, "Unknown project");
                    note("new " + folder + "|" + text, reply);
                },
                [this](auto line) {
                    std::lock_guard lock(mutex);
                    status = line;
                }};
    }
    std::vector<std::string> lines() {
        std::lock_guard lock(mutex);
        return heard;
    }
    bool waitForReplies(std::size_t count) {
        return testing::eventually([&] {
            std::lock_guard lock(mutex);
            return replies.size() == count;
        });
    }
    int burned() {
        const auto all = lines();
        return static_cast<int>(std::count(all.begin(), all.end(), "burned"));
    }
};

class PhoneServerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        PhoneServer::Options options;
        options.port = 0;
        options.longPollHold = 0.2;
        options.requestTimeout = 0.5;
        server = PhoneServer::create("Studio Mac", {"good-token"}, "123456", owner.callbacks(),
                                     clock, options);
        ASSERT_TRUE(server->start().ok());
    }
    std::string exchange(const std::string& bytes) {
        RawClient client(server->port());
        client.send(bytes);
        return client.readAll();
    }
    std::string as(const std::string& token, const std::string& method, const std::string& target,
                   const std::string& body = {}) {
        return exchange(httpRequest(method, target, body, token));
    }
    std::string pair(const json& body) {
        return exchange(httpRequest("POST", "/pair", body.dump()));
    }

    testing::ManualMainQueue clock;
    Owner owner;
    std::shared_ptr<PhoneServer> server;
};

TEST_F(PhoneServerTest, AnswersByExactRouteAndBearerTokenBeforeAnyOwner) {
    const auto& page = phoneAppPage();
    const std::string html =
        "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Type: text/html; charset=utf-8\r\n"
        "Cache-Control: no-store\r\nContent-Security-Policy: " +
        page.contentSecurityPolicy +
        "\r\nX-Content-Type-Options: nosniff\r\nReferrer-Policy: no-referrer\r\nContent-Length: " +
        std::to_string(page.html.size()) + "\r\n\r\n" + page.html;
    const std::string ok = answer("200 OK", R"({"app":"Brimwick"})"),
                      notFound = answer("404 Not Found"), denied = answer("401 Unauthorized"),
                      bad = answer("400 Bad Request"),
                      tooLong = answer("400 Bad Request", R"({"message":"Empty or too long"})");
    const std::string deep = R"({"code":"123456","device":)" + std::string(100'000, '[') +
                             std::string(100'000, ']') + "}";  // no token needed to send it
    const std::string T = "good-token";
    const auto get = [](const std::string& target, const std::string& token = {},
                        const std::string& headers = {}) {
        return httpRequest("GET", target, {}, token, headers);
    };
    const auto post = [&](const std::string& target, const std::string& body,
                          const std::string& token = "good-token") {
        return httpRequest("POST", target, body, token);
    };
    // clang-format off
    const std::pair<std::string, std::string> rows[] = {
        {get("/"), ok}, {get("/?x=1"), ok},
        {get("/app"), html}, {get("/app?from=qr", "wrong"), html},
        {post("/app", "", ""), notFound}, {httpRequest("HEAD", "/app"), notFound},
        {get("/app/"), notFound}, {get("/App"), notFound}, {get("/apps"), notFound},
        {get("/nope"), notFound}, {get("/nope", T), notFound}, {get("/Status", T), notFound},
        {post("/status", ""), notFound}, {get("/pair", T), notFound},
        {"BAD\r\nX: \xff\r\n\r\n", bad},
        // The bearer scheme is case-sensitive, the header name is not.
        {get("/status"), denied}, {get("/status", "other"), denied},
        {get("/status", "good-toke"), denied}, {get("/status", "good-tokenn"), denied},
        {get("/status", {}, "Authorization: Bearer \r\n"), denied},
        {get("/status", {}, "authorization: bearer good-token\r\n"), denied},
        {get("/status", {}, "Authorization: Bearer  good-token\r\n"), denied},
        {get("/status", {}, "AUTHORIZATION: Bearer good-token\r\n"), answer("200 OK", "{}")},
        // Decisions are four exact words; prompts are trimmed and bounded.
        {post("/decide", R"({"id":"x","decision":"deny"})", ""), denied},
        {post("/decide", R"({"id":"ab12cd34","decision":"Allow"})"), bad},
        {post("/decide", R"({"id":1,"decision":"allow"})"), bad}, {post("/decide", "{}"), bad},
        {post("/prompt", R"({"session":"s","text":" \n\t "})"), tooLong},
        {post("/prompt", R"({"session":"","text":"hi"})"), tooLong},
        {post("/prompt", R"({"text":"hi"})"), tooLong}, {post("/prompt", "not json"), tooLong},
        {post("/new", R"({"session":"s","text":"hi"})"), tooLong},
        {post("/prompt", json{{"session", "s"}, {"text", std::string(20'001, 'x')}}.dump()), tooLong},
        // Pairing requests that are not a code; the deep one would exhaust a copier's stack.
        {post("/pair", "", ""), bad}, {post("/pair", "{}", ""), bad}, {post("/pair", "[]", ""), bad},
        {post("/pair", R"({"code":123456})", ""), bad}, {post("/pair", R"({"device":"x"})", ""), bad},
        {post("/pair", deep, ""), bad}};
    // clang-format on
    for (const auto& [request, expected] : rows) {
        EXPECT_EQ(exchange(request), expected) << request.substr(0, 80);
    }
    EXPECT_TRUE(owner.lines().empty());
    std::lock_guard lock(owner.mutex);
    EXPECT_EQ(owner.status, "Listening on port " + std::to_string(server->port()));
}

TEST_F(PhoneServerTest, PairingIssuesATokenOnceAndCutsTheDeviceName) {
    const auto paired = json::parse(bodyOf(pair({{"code", "123 456"}, {"device", "Pixel"}})));
    const std::string token = paired["token"];
    EXPECT_TRUE(std::regex_match(token, std::regex("[0-9a-f]{64}")));
    EXPECT_EQ(paired["host"], "Studio Mac");
    EXPECT_EQ(as(token, "GET", "/status"), answer("200 OK", "{}"));  // the token works at once
    const std::string wrong = answer("403 Forbidden", R"({"error":"Wrong pairing code"})");
    EXPECT_EQ(pair({{"code", "123456"}}), wrong);  // the code is spent
    // Cut to 60 characters without splitting one; anything but a string is "Android phone".
    const std::string person = "\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x92\xBB";
    const std::pair<json, std::string> devices[] = {
        {std::string(59, 'a') + person + "z", std::string(59, 'a') + person},
        {7, "Android phone"},
        {"", ""}};
    for (std::size_t i = 0; i < std::size(devices); ++i) {
        server->setCode("654321");
        EXPECT_EQ(pair({{"code", "654-321"}, {"device", devices[i].first}}).substr(0, 15),
                  "HTTP/1.1 200 OK");
        ASSERT_TRUE(testing::eventually([&] { return owner.lines().size() == 2 + i; }));
        EXPECT_EQ(owner.lines().back().substr(7 + 65), devices[i].second);
    }
    EXPECT_EQ(owner.lines()[0], "paired " + token + " Pixel");
}

TEST_F(PhoneServerTest, TheFifthWrongCodeBurnsIt) {
    const std::string wrong = answer("403 Forbidden", R"({"error":"Wrong pairing code"})");
    for (int i = 0; i < 5; ++i) {
        // Full-width digits stay what they are, so the right code typed that way is wrong too.
        EXPECT_EQ(pair({{"code", i == 2 ? "\uFF11\uFF12\uFF13\uFF14\uFF15\uFF16" : "000000"}}),
                  wrong);
        EXPECT_EQ(owner.burned(), i == 4 ? 1 : 0);
    }
    EXPECT_EQ(pair({{"code", "123456"}}), wrong);
    // An empty code counts every attempt as wrong, so it burns again after five more.
    for (int i = 0; i < 4; ++i) pair({{"code", "1"}});
    EXPECT_EQ(owner.burned(), 2);
}

TEST_F(PhoneServerTest, TheLongPollAnswersOnPublishOrAfterTheHoldAndNewTokensEndIt) {
    EXPECT_EQ(as("good-token", "GET", "/status"), answer("200 OK", "{}"));  // without "v=", at once
    server->publish({{"sessions", json::array()}});
    EXPECT_EQ(bodyOf(as("good-token", "GET", "/status?v=0")), R"({"sessions":[],"version":1})");
    // With the current version it waits for the next publish.
    RawClient waiting(server->port());
    waiting.send(httpRequest("GET", "/status?v=1", {}, "good-token"));
    EXPECT_EQ(waiting.readAll(0.05), "");
    EXPECT_TRUE(server->phoneIsWatching());
    server->publish({{"n", 2}});
    EXPECT_EQ(bodyOf(waiting.readAll()), R"({"n":2,"version":2})");
    // Without a publish it answers after the hold with the same version.
    EXPECT_EQ(bodyOf(as("good-token", "GET", "/status?x=1&v=2")), R"({"n":2,"version":2})");
    // Only the first "v=" counts: this one answers at once, not after the hold.
    RawClient first(server->port());
    first.send(httpRequest("GET", "/status?v=abc&v=2", {}, "good-token"));
    EXPECT_EQ(bodyOf(first.readAll(0.1)), R"({"n":2,"version":2})");

    RawClient a(server->port()), b(server->port());
    for (RawClient* client : {&a, &b})
        client->send(httpRequest("GET", "/status?v=2", {}, "good-token"));
    EXPECT_EQ(a.readAll(0.05), "");
    server->setTokens({"good-token"});  // a new token set ends every waiting poll
    EXPECT_EQ(a.readAll(), answer("401 Unauthorized"));
    EXPECT_EQ(b.readAll(), answer("401 Unauthorized"));
}

TEST_F(PhoneServerTest, WatchingFollowsEachPhonesPolls) {
    server->setTokens({"good-token", "other-token"});
    EXPECT_FALSE(server->phoneIsWatching());
    // A phone polls, holds its poll for `seconds` and goes away, closing it unanswered.
    const auto pollAndLeave = [&](const std::string& token, double seconds) {
        {
            RawClient waiting(server->port());
            waiting.send(httpRequest("GET", "/status?v=0", {}, token));
            ASSERT_TRUE(testing::eventually([&] { return server->waitingPolls() == 1; }));
            clock.advance(seconds);
            EXPECT_TRUE(server->phoneIsWatching());  // a poll is waiting
        }
        ASSERT_TRUE(testing::eventually([&] { return server->waitingPolls() == 0; }));
    };
    pollAndLeave("good-token", 100);  // its last "/status" is long gone
    EXPECT_FALSE(server->phoneIsWatching());
    // A phone that left counts for 5 s, not 35; a poll answered normally counts for 35 s,
    // whichever other phone leaves meanwhile.
    for (const bool answered : {false, true}) {
        if (answered) as("good-token", "GET", "/status");
        pollAndLeave(answered ? "other-token" : "good-token", 0);
        clock.advance(answered ? 34.9 : 4.9);
        EXPECT_TRUE(server->phoneIsWatching());
        clock.advance(0.2);
        EXPECT_FALSE(server->phoneIsWatching());
    }
}

TEST_F(PhoneServerTest, DecisionsPromptsAndNewSessionsAreAnsweredByTheOwner) {
    const auto post = [&](const std::string& target, const json& body) {
        auto client = std::make_unique<RawClient>(server->port());
        client->send(httpRequest("POST", target, body.dump(), "good-token"));
        return client;
    };
    auto waiting = post("/decide", {{"id", "ab12cd34"}, {"decision", "terminal"}});
    ASSERT_TRUE(owner.waitForReplies(1));
    auto gone = post("/decide", {{"id", "unknown"}, {"decision", "allow"}});
    ASSERT_TRUE(owner.waitForReplies(2));
    auto prompt =
        post("/prompt", {{"session", " s1 "}, {"text", "\n" + std::string(20'000, 'x') + "  "}});
    ASSERT_TRUE(owner.waitForReplies(3));
    auto refused = post("/new", {{"path", "/src/w"}, {"text", "go"}});
    ASSERT_TRUE(owner.waitForReplies(4));
    // The session key is passed untrimmed, the text trimmed.
    EXPECT_EQ(owner.lines(),
              (std::vector<std::string>{"ab12cd34 terminal", "unknown allow",
                                        " s1 |" + std::string(20'000, 'x'), "new /src/w|go"}));
    owner.replies[1](false, "That request is no longer waiting.");
    owner.replies[0](true, "");
    std::thread([reply = owner.replies[2]] { reply(true, "Queued for the next stop"); }).join();
    owner.replies[3](false, "Unknown project");
    EXPECT_EQ(waiting->readAll(), answer("202 Accepted"));
    EXPECT_EQ(gone->readAll(),
              answer("409 Conflict", R"({"message":"That request is no longer waiting."})"));
    EXPECT_EQ(prompt->readAll(),
              answer("202 Accepted", R"({"message":"Queued for the next stop"})"));
    EXPECT_EQ(refused->readAll(), answer("409 Conflict", R"({"message":"Unknown project"})"));
}

TEST_F(PhoneServerTest, EachPhoneMayAskForThreeNewSessionsAMinute) {
    server->setTokens({"good-token", "other-token"});
    owner.refuseNewSessions = true;  // refused or not, each one counts
    const auto ask = [&](const std::string& token) {
        return as(token, "POST", "/new", R"({"path":"/src/w","text":"go"})");
    };
    const std::string refused = answer("409 Conflict", R"({"message":"Unknown project"})");
    const std::string tooMany =
        answer("429 Too Many Requests",
               R"({"message":"Too many new sessions at once. Try again in a minute."})");
    for (int i = 0; i < 3; ++i) EXPECT_EQ(ask("good-token"), refused) << i;
    EXPECT_EQ(ask("good-token"), tooMany);
    EXPECT_EQ(ask("other-token"), refused);
    clock.advance(59.9);
    EXPECT_EQ(ask("good-token"), tooMany);
    clock.advance(0.1);
    EXPECT_EQ(ask("good-token"), refused);
}

TEST_F(PhoneServerTest, OversizedRequestsAreDroppedIpv6IsServedAndStoppingEndsEverything) {
    RawClient oversized(server->port());
    oversized.send("POST /prompt HTTP/1.1\r\nContent-Length: 2000000\r\n\r\n");
    oversized.send(std::string(1'048'576, 'x'));
    EXPECT_TRUE(oversized.waitForClose());
    EXPECT_EQ(oversized.readAll(0.1), "");

    RawClient ipv6(server->port(), /*ipv6=*/true);
    ipv6.send(httpRequest("GET", "/"));
    EXPECT_EQ(bodyOf(ipv6.readAll()), R"({"app":"Brimwick"})");

    RawClient waiting(server->port()), prompt(server->port());
    waiting.send(httpRequest("GET", "/status?v=0", {}, "good-token"));
    prompt.send(httpRequest("POST", "/prompt", R"({"session":"s","text":"hi"})", "good-token"));
    ASSERT_TRUE(owner.waitForReplies(1));
    server->stop();
    owner.replies[0](true, "late");
    EXPECT_EQ(waiting.readAll(), "");
    EXPECT_EQ(prompt.readAll(), "");
}

TEST(PhoneServerStatics, PortFromTheEnvironmentAndFreshTokens) {
    const std::pair<const char*, int> ports[] = {{nullptr, 47822}, {"", 47822},   {"abc", 47822},
                                                 {"65536", 47822}, {"-5", 47822}, {"+50000", 50000},
                                                 {"65535", 65535}, {"0", 0}};
    for (const auto& [text, port] : ports) EXPECT_EQ(PhoneServer::parsePort(text), port) << text;
    const auto token = PhoneServer::randomToken();
    ASSERT_TRUE(token);
    EXPECT_TRUE(std::regex_match(*token, std::regex("[0-9a-f]{64}")));
    EXPECT_NE(token, PhoneServer::randomToken());
}

// The last owner may let go while the server thread is inside one of the server's callbacks.
TEST(PhoneServerLifetime, ReleasedFromInsideItsOwnCallbackEndsCleanly) {
    SystemClock clock;
    std::shared_ptr<PhoneServer> server;
    std::mutex mutex;
    PhoneServer::Callbacks callbacks;
    callbacks.onDecide = [&](auto, auto, auto) {
        std::lock_guard lock(mutex);
        server.reset();  // the handler still holds its own reference
    };
    {
        std::lock_guard lock(mutex);
        server = testing::makeLoopbackPhoneServer(clock, "host", {"t"}, "", callbacks);
        ASSERT_TRUE(server->start().ok());
    }
    RawClient client(server->port());
    client.send(httpRequest("POST", "/decide", R"({"id":"a","decision":"deny"})", "t"));
    EXPECT_TRUE(client.waitForClose());
    std::lock_guard lock(mutex);
    EXPECT_EQ(server, nullptr);
}

}  // namespace
}  // namespace brimwick
