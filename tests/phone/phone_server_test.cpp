#include "phone/phone_server.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <regex>

#include "support/eventually.h"
#include "support/manual_main_queue.h"
#include "support/raw_client.h"

namespace brimwick {
namespace {

using testing::RawClient;

std::string answer(const std::string& status, const std::string& body = {}) {
    return "HTTP/1.1 " + status +
           "\r\nConnection: close\r\nContent-Type: application/json\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + body;
}

std::string request(const std::string& method, const std::string& target,
                    const std::string& body = {}, const std::string& headers = {}) {
    return method + " " + target + " HTTP/1.1\r\nHost: phone\r\n" + headers +
           "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

std::string bodyOf(const std::string& response) {
    const auto blank = response.find("\r\n\r\n");
    return blank == std::string::npos ? "" : response.substr(blank + 4);
}

// What the server hands to its owner, recorded from the server thread.
struct Owner {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::pair<std::string, std::string>> paired, decided, prompts;
    int burned = 0;
    std::vector<PhoneServer::Reply> replies;
    std::vector<std::string> statuses;
    std::atomic<bool> refuseNewSessions = false;  // answered on the server thread, not the test

    PhoneServer::Callbacks callbacks() {
        PhoneServer::Callbacks c;
        c.onPaired = [this](std::string token, std::string device) {
            record([&] { paired.emplace_back(token, device); });
        };
        c.onCodeBurned = [this] { record([&] { ++burned; }); };
        c.onDecide = [this](std::string id, std::string decision, PhoneServer::Reply reply) {
            record([&] {
                decided.emplace_back(id, decision);
                replies.push_back(std::move(reply));
            });
        };
        c.onPrompt = [this](std::string session, std::string text, PhoneServer::Reply reply) {
            record([&] {
                prompts.emplace_back(session, text);
                replies.push_back(std::move(reply));
            });
        };
        c.onNewSession = [this](std::string folder, std::string text, PhoneServer::Reply reply) {
            if (refuseNewSessions) return reply(false, "Unknown project");
            record([&] {
                prompts.emplace_back("new:" + folder, text);
                replies.push_back(std::move(reply));
            });
        };
        c.onStatus = [this](std::string status) {
            record([&] { statuses.push_back(std::move(status)); });
        };
        return c;
    }
    template <typename F>
    void record(F f) {
        std::lock_guard lock(mutex);
        f();
        changed.notify_all();
    }
    template <typename P>
    bool waitFor(P predicate) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(5), predicate);
    }
};

class PhoneServerTest : public ::testing::Test {
  protected:
    void SetUp() override { start(); }

    void start() {
        PhoneServer::Options options;
        options.port = 0;
        options.longPollHold = 0.2;
        options.requestTimeout = 0.5;
        server = PhoneServer::create("Studio Mac", {"good-token"}, "123456", owner.callbacks(),
                                     clock, options);
        ASSERT_TRUE(server->start().ok());
    }

    std::string exchange(const std::string& bytes, double timeout = 5.0) {
        RawClient client(server->port());
        client.send(bytes);
        return client.readAll(timeout);
    }
    std::string authorized(const std::string& method, const std::string& target,
                           const std::string& body = {}, const std::string& token = "good-token") {
        return exchange(request(method, target, body, "Authorization: Bearer " + token + "\r\n"));
    }

    testing::ManualMainQueue clock;
    Owner owner;
    std::shared_ptr<PhoneServer> server;
};

TEST_F(PhoneServerTest, ReportsListeningOnItsPort) {
    ASSERT_TRUE(owner.waitFor([&] { return !owner.statuses.empty(); }));
    EXPECT_EQ(owner.statuses[0], "Listening on port " + std::to_string(server->port()));
}

TEST_F(PhoneServerTest, RoutesAreExactAndChosenBeforeAuthentication) {
    EXPECT_EQ(exchange(request("GET", "/")), answer("200 OK", R"({"app":"Brimwick"})"));
    EXPECT_EQ(exchange(request("GET", "/?x=1")), answer("200 OK", R"({"app":"Brimwick"})"));
    EXPECT_EQ(exchange(request("GET", "/status")), answer("401 Unauthorized"));
    EXPECT_EQ(exchange(request("GET", "/nope")), answer("404 Not Found"));
    EXPECT_EQ(authorized("GET", "/nope"), answer("404 Not Found"));
    EXPECT_EQ(authorized("GET", "/Status"), answer("404 Not Found"));
    EXPECT_EQ(authorized("POST", "/status"), answer("404 Not Found"));
    EXPECT_EQ(authorized("GET", "/pair"), answer("404 Not Found"));
    EXPECT_EQ(exchange("BAD\r\nX: \xff\r\n\r\n"), answer("400 Bad Request"));
}

TEST_F(PhoneServerTest, BearerSchemeIsCaseSensitiveButTheHeaderNameIsNot) {
    EXPECT_EQ(exchange(request("GET", "/status", "", "authorization: bearer good-token\r\n")),
              answer("401 Unauthorized"));
    EXPECT_EQ(exchange(request("GET", "/status", "", "Authorization: Bearer  good-token\r\n")),
              answer("401 Unauthorized"));
    for (const char* token : {"other", "good-toke", "good-tokenn", ""}) {
        EXPECT_EQ(authorized("GET", "/status", "", token), answer("401 Unauthorized")) << token;
    }
    EXPECT_EQ(exchange(request("GET", "/status", "", "AUTHORIZATION: Bearer good-token\r\n")),
              answer("200 OK", "{}"));
}

TEST_F(PhoneServerTest, PairingWithSeparatorsIssuesATokenOnce) {
    const auto paired =
        exchange(request("POST", "/pair", R"({"code":"123 456","device":"Pixel"})"));
    const auto json = nlohmann::json::parse(bodyOf(paired));
    EXPECT_TRUE(std::regex_match(json["token"].get<std::string>(), std::regex("[0-9a-f]{64}")));
    EXPECT_EQ(json["host"], "Studio Mac");
    ASSERT_EQ(owner.paired.size(), 1u);
    EXPECT_EQ(owner.paired[0].first, json["token"]);
    EXPECT_EQ(owner.paired[0].second, "Pixel");

    // The new token works at once; the code is spent.
    EXPECT_EQ(
        exchange(request("GET", "/status", "",
                         "Authorization: Bearer " + json["token"].get<std::string>() + "\r\n")),
        answer("200 OK", "{}"));
    EXPECT_EQ(exchange(request("POST", "/pair", R"({"code":"123456"})")),
              answer("403 Forbidden", R"({"error":"Wrong pairing code"})"));
}

TEST_F(PhoneServerTest, PairingRequestsThatAreNotACodeAreBad) {
    // The deep one would exhaust the stack of whoever copied it; no token is needed to send it.
    const std::string deep = R"({"code":"123456","device":)" + std::string(100'000, '[') +
                             std::string(100'000, ']') + "}";
    for (const std::string& body : std::vector<std::string>{"", "{}", "[]", R"({"code":123456})",
                                                            R"({"device":"x"})", deep}) {
        EXPECT_EQ(exchange(request("POST", "/pair", body)), answer("400 Bad Request"))
            << body.substr(0, 40);
    }
    server->setCode("654321");
    EXPECT_EQ(exchange(request("POST", "/pair", R"({"code":"654-321"})")).substr(0, 15),
              "HTTP/1.1 200 OK");
}

TEST_F(PhoneServerTest, DeviceNamesAreCutToSixtyCharactersOrDefaulted) {
    const std::string long61 =
        std::string(59, 'a') + "\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x92\xBB" + "z";
    exchange(
        request("POST", "/pair", nlohmann::json{{"code", "123456"}, {"device", long61}}.dump()));
    server->setCode("111111");
    exchange(request("POST", "/pair", R"({"code":"111111","device":7})"));
    server->setCode("222222");
    exchange(request("POST", "/pair", R"({"code":"222222","device":""})"));
    ASSERT_TRUE(owner.waitFor([&] { return owner.paired.size() == 3; }));
    EXPECT_EQ(owner.paired[0].second,
              std::string(59, 'a') + "\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x92\xBB");
    EXPECT_EQ(owner.paired[1].second, "Android phone");
    EXPECT_EQ(owner.paired[2].second, "");
}

TEST_F(PhoneServerTest, FifthWrongCodeBurnsTheCode) {
    for (int i = 0; i < 5; ++i) {
        // Full-width digits stay what they are, so the right code typed that way is wrong too.
        const std::string code = i == 2 ? "\uFF11\uFF12\uFF13\uFF14\uFF15\uFF16" : "000000";
        EXPECT_EQ(exchange(request("POST", "/pair", nlohmann::json{{"code", code}}.dump())),
                  answer("403 Forbidden", R"({"error":"Wrong pairing code"})"));
        EXPECT_EQ(owner.burned, i == 4 ? 1 : 0);
    }
    EXPECT_EQ(exchange(request("POST", "/pair", R"({"code":"123456"})")).substr(0, 22),
              "HTTP/1.1 403 Forbidden");
    // An empty code counts every attempt as wrong, so it burns again after five more.
    for (int i = 0; i < 4; ++i) exchange(request("POST", "/pair", R"({"code":"1"})"));
    EXPECT_EQ(owner.burned, 2);
}

TEST_F(PhoneServerTest, LongPollAnswersAtOnceOnPublishOrAfterTheHold) {
    // Without "v=" the snapshot comes at once.
    EXPECT_EQ(authorized("GET", "/status"), answer("200 OK", "{}"));
    server->publish({{"sessions", nlohmann::json::array()}});
    EXPECT_EQ(bodyOf(authorized("GET", "/status?v=0")), R"({"sessions":[],"version":1})");

    // With the current version it waits for the next publish.
    RawClient waiting(server->port());
    waiting.send(request("GET", "/status?v=1", "", "Authorization: Bearer good-token\r\n"));
    EXPECT_EQ(waiting.readAll(0.05), "");
    EXPECT_TRUE(server->phoneIsWatching());
    server->publish({{"n", 2}});
    EXPECT_EQ(bodyOf(waiting.readAll()), R"({"n":2,"version":2})");

    // Without a publish it answers after the hold with the same version.
    EXPECT_EQ(bodyOf(authorized("GET", "/status?x=1&v=2")), R"({"n":2,"version":2})");
}

TEST_F(PhoneServerTest, OnlyTheFirstVersionItemCounts) {
    server->publish({});
    RawClient client(server->port());
    client.send(request("GET", "/status?v=abc&v=1", "", "Authorization: Bearer good-token\r\n"));
    EXPECT_EQ(bodyOf(client.readAll(0.1)), R"({"version":1})");  // at once, not after the hold
}

TEST_F(PhoneServerTest, NewTokenSetEndsEveryWaitingPoll) {
    RawClient a(server->port()), b(server->port());
    a.send(request("GET", "/status?v=0", "", "Authorization: Bearer good-token\r\n"));
    b.send(request("GET", "/status?v=0", "", "Authorization: Bearer good-token\r\n"));
    EXPECT_EQ(a.readAll(0.05), "");
    server->setTokens({"good-token"});
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
            waiting.send(
                request("GET", "/status?v=0", "", "Authorization: Bearer " + token + "\r\n"));
            ASSERT_TRUE(testing::eventually([&] { return server->waitingPolls() == 1; }, 5));
            clock.advance(seconds);
            EXPECT_TRUE(server->phoneIsWatching());  // a poll is waiting
        }
        ASSERT_TRUE(testing::eventually([&] { return server->waitingPolls() == 0; }, 5));
    };
    // Its last "/status" is long gone.
    pollAndLeave("good-token", 100);
    EXPECT_FALSE(server->phoneIsWatching());

    // A phone that left counts for 5 s, not 35.
    pollAndLeave("good-token", 0);
    clock.advance(4.9);
    EXPECT_TRUE(server->phoneIsWatching());
    clock.advance(0.2);
    EXPECT_FALSE(server->phoneIsWatching());

    // A poll answered normally counts for 35 s, whichever other phone leaves meanwhile.
    authorized("GET", "/status");
    pollAndLeave("other-token", 0);
    clock.advance(34.9);
    EXPECT_TRUE(server->phoneIsWatching());
    clock.advance(0.2);
    EXPECT_FALSE(server->phoneIsWatching());
}

TEST_F(PhoneServerTest, DecisionsAreFourExactWordsAnsweredByTheOwner) {
    EXPECT_EQ(authorized("POST", "/decide", R"({"id":"ab12cd34","decision":"Allow"})"),
              answer("400 Bad Request"));
    EXPECT_EQ(authorized("POST", "/decide", R"({"id":1,"decision":"allow"})"),
              answer("400 Bad Request"));
    EXPECT_EQ(authorized("POST", "/decide", "{}"), answer("400 Bad Request"));
    EXPECT_EQ(exchange(request("POST", "/decide", R"({"id":"x","decision":"deny"})")),
              answer("401 Unauthorized"));
    EXPECT_TRUE(owner.decided.empty());

    RawClient waiting(server->port()), gone(server->port());
    waiting.send(request("POST", "/decide", R"({"id":"ab12cd34","decision":"terminal"})",
                         "Authorization: Bearer good-token\r\n"));
    ASSERT_TRUE(owner.waitFor([&] { return owner.replies.size() == 1; }));
    gone.send(request("POST", "/decide", R"({"id":"unknown","decision":"allow"})",
                      "Authorization: Bearer good-token\r\n"));
    ASSERT_TRUE(owner.waitFor([&] { return owner.replies.size() == 2; }));
    EXPECT_EQ(owner.decided,
              (decltype(owner.decided){{"ab12cd34", "terminal"}, {"unknown", "allow"}}));
    owner.replies[1](false, "That request is no longer waiting.");
    owner.replies[0](true, "");
    EXPECT_EQ(waiting.readAll(), answer("202 Accepted"));
    EXPECT_EQ(gone.readAll(),
              answer("409 Conflict", R"({"message":"That request is no longer waiting."})"));
}

TEST_F(PhoneServerTest, PromptsAreTrimmedBoundedAndAnsweredByTheOwner) {
    const std::string bad = answer("400 Bad Request", R"({"message":"Empty or too long"})");
    EXPECT_EQ(authorized("POST", "/prompt", R"({"session":"s","text":" \n\t "})"), bad);
    EXPECT_EQ(authorized("POST", "/prompt", R"({"session":"","text":"hi"})"), bad);
    EXPECT_EQ(authorized("POST", "/prompt", R"({"text":"hi"})"), bad);
    EXPECT_EQ(authorized("POST", "/new", R"({"session":"s","text":"hi"})"), bad);
    EXPECT_EQ(authorized("POST", "/prompt", "not json"), bad);
    EXPECT_EQ(
        authorized("POST", "/prompt",
                   nlohmann::json{{"session", "s"}, {"text", std::string(20'001, 'x')}}.dump()),
        bad);

    RawClient accepted(server->port());
    accepted.send(request(
        "POST", "/prompt",
        nlohmann::json{{"session", " s1 "}, {"text", "\n" + std::string(20'000, 'x') + "  "}}
            .dump(),
        "Authorization: Bearer good-token\r\n"));
    ASSERT_TRUE(owner.waitFor([&] { return owner.replies.size() == 1; }));
    EXPECT_EQ(owner.prompts[0].first, " s1 ");  // the key is passed untrimmed
    EXPECT_EQ(owner.prompts[0].second, std::string(20'000, 'x'));
    std::thread([reply = owner.replies[0]] { reply(true, "Queued for the next stop"); }).join();
    EXPECT_EQ(accepted.readAll(),
              answer("202 Accepted", R"({"message":"Queued for the next stop"})"));

    RawClient refused(server->port());
    refused.send(request("POST", "/new", R"({"path":"/src/w","text":"go"})",
                         "Authorization: Bearer good-token\r\n"));
    ASSERT_TRUE(owner.waitFor([&] { return owner.replies.size() == 2; }));
    EXPECT_EQ(owner.prompts[1].first, "new:/src/w");
    owner.replies[1](false, "Unknown project");
    EXPECT_EQ(refused.readAll(), answer("409 Conflict", R"({"message":"Unknown project"})"));
}

TEST_F(PhoneServerTest, EachPhoneMayAskForThreeNewSessionsAMinute) {
    server->setTokens({"good-token", "other-token"});
    owner.refuseNewSessions = true;  // refused or not, each one counts
    const auto ask = [&](const std::string& token) {
        return authorized("POST", "/new", R"({"path":"/src/w","text":"go"})", token);
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

TEST_F(PhoneServerTest, OversizedIncompleteRequestIsDroppedWithoutAnswer) {
    RawClient client(server->port());
    client.send("POST /prompt HTTP/1.1\r\nContent-Length: 2000000\r\n\r\n");
    client.send(std::string(1'048'576, 'x'));
    EXPECT_TRUE(client.waitForClose());
    EXPECT_EQ(client.readAll(0.1), "");
}

TEST_F(PhoneServerTest, ListensOnIpv6LoopbackToo) {
    RawClient client(server->port(), /*ipv6=*/true);
    client.send(request("GET", "/"));
    EXPECT_EQ(bodyOf(client.readAll()), R"({"app":"Brimwick"})");
}

TEST_F(PhoneServerTest, StoppingEndsPollsAndLateRepliesDoNothing) {
    RawClient waiting(server->port());
    waiting.send(request("GET", "/status?v=0", "", "Authorization: Bearer good-token\r\n"));
    RawClient prompt(server->port());
    prompt.send(request("POST", "/prompt", R"({"session":"s","text":"hi"})",
                        "Authorization: Bearer good-token\r\n"));
    ASSERT_TRUE(owner.waitFor([&] { return owner.replies.size() == 1; }));
    server->stop();
    owner.replies[0](true, "late");
    EXPECT_EQ(waiting.readAll(), "");
    EXPECT_EQ(prompt.readAll(), "");
}

TEST(PhoneServerPort, EnvironmentRule) {
    EXPECT_EQ(PhoneServer::parsePort(nullptr), 47822);
    EXPECT_EQ(PhoneServer::parsePort(""), 47822);
    EXPECT_EQ(PhoneServer::parsePort("abc"), 47822);
    EXPECT_EQ(PhoneServer::parsePort("65536"), 47822);
    EXPECT_EQ(PhoneServer::parsePort("-5"), 47822);
    EXPECT_EQ(PhoneServer::parsePort("+50000"), 50000);
    EXPECT_EQ(PhoneServer::parsePort("65535"), 65535);
    EXPECT_EQ(PhoneServer::parsePort("0"), 0);
}

TEST(PhoneServerToken, SixtyFourFreshHexDigits) {
    const auto a = PhoneServer::randomToken();
    ASSERT_TRUE(a);
    EXPECT_TRUE(std::regex_match(*a, std::regex("[0-9a-f]{64}")));
    EXPECT_NE(a, PhoneServer::randomToken());
}

}  // namespace
}  // namespace brimwick

namespace brimwick {
namespace {

// The last owner may let go while the server thread is inside one of the server's callbacks.
TEST(PhoneServerLifetime, ReleasedFromInsideItsOwnCallbackEndsCleanly) {
    SystemClock clock;
    std::shared_ptr<PhoneServer> server;
    std::mutex mutex;
    PhoneServer::Callbacks callbacks;
    callbacks.onDecide = [&](std::string, std::string, PhoneServer::Reply) {
        std::lock_guard lock(mutex);
        server.reset();  // the handler still holds its own reference
    };
    PhoneServer::Options options;
    options.port = 0;
    options.address = "127.0.0.1";
    {
        std::lock_guard lock(mutex);
        server = PhoneServer::create("host", {"t"}, "", callbacks, clock, options);
        ASSERT_TRUE(server->start().ok());
    }
    testing::RawClient client(server->port());
    client.send(request("POST", "/decide", R"({"id":"a","decision":"deny"})",
                        "Authorization: Bearer t\r\n"));
    EXPECT_TRUE(client.waitForClose());
    std::lock_guard lock(mutex);
    EXPECT_EQ(server, nullptr);
}

}  // namespace
}  // namespace brimwick
