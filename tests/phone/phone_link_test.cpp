#include "phone/phone_link.h"

#include <gtest/gtest.h>

#include <deque>

#include "phone/phone_status_lines.h"
#include "support/fake_random.h"
#include "support/loopback_phone_server.h"
#include "support/manual_main_queue.h"
#include "support/memory_preferences.h"
#include "support/raw_client.h"

namespace brimwick {
namespace {

using nlohmann::json;
using testing::ManualMainQueue;
using testing::RawClient;

constexpr const char* kToken = "feedfacefeedfacefeedfacefeedfacefeedfacefeedfacefeedfacefeedface";

std::string httpRequest(const std::string& method, const std::string& target,
                        const std::string& body = {}, const std::string& token = {}) {
    std::string headers = "Host: phone\r\n";
    if (!token.empty()) headers += "Authorization: Bearer " + token + "\r\n";
    return method + " " + target + " HTTP/1.1\r\n" + headers +
           "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

std::string statusLineOf(const std::string& response) {
    return response.substr(0, response.find("\r\n"));
}

std::string bodyOf(const std::string& response) {
    const auto blank = response.find("\r\n\r\n");
    return blank == std::string::npos ? "" : response.substr(blank + 4);
}

class PhoneLinkTest : public ::testing::Test {
  protected:
    PhoneLink::Services services() {
        PhoneLink::Services s;
        s.makeServer = [this](std::string host, std::set<std::string> tokens, std::string code,
                              PhoneServer::Callbacks callbacks) -> std::shared_ptr<PhoneServer> {
            ++serversMade;
            if (!makeServers) return nullptr;
            return testing::makeLoopbackPhoneServer(queue, std::move(host), std::move(tokens),
                                                    std::move(code), std::move(callbacks),
                                                    serverPort);
        };
        s.localAddress = [this] { return address; };
        s.newCode = [this] {
            if (codes.empty()) return std::string("999999");
            auto next = codes.front();
            codes.pop_front();
            return next;
        };
        s.launchSession = [this](const std::string& folder, const std::string&) {
            launched.push_back(folder);
            return Result<void>();
        };
        s.isDirectory = [](const std::string&) { return true; };
        s.hostName = hostName;
        return s;
    }

    std::shared_ptr<PhoneLink> make() {
        return PhoneLink::create(queue, preferences, gate, services());
    }

    // A link that is on, with one paired phone, listening on loopback.
    std::shared_ptr<PhoneLink> makeListening() {
        preferences.setValue("phoneEnabled", true);
        preferences.setValue("phoneDevices", {{kToken, "Pixel 8"}});
        auto link = make();
        EXPECT_TRUE(link->server());
        EXPECT_TRUE(queue.runUntil([&] { return link->status().starts_with("Listening"); }));
        return link;
    }

    std::string send(const PhoneLink& link, const std::string& bytes) {
        RawClient client(link.port());
        client.send(bytes);
        return client.readAll();
    }
    // The same for requests the link answers from the main queue, which runs meanwhile.
    std::string sendRunning(const PhoneLink& link, const std::string& bytes) {
        RawClient client(link.port());
        client.send(bytes);
        std::string answer;
        queue.runUntil([&] {
            answer += client.readAll(0.01);
            return client.closed();
        });
        return answer;
    }
    // A phone asks for the status: from now on it counts as watching for 35 s (virtual).
    void watch(const PhoneLink& link) {
        EXPECT_EQ(statusLineOf(send(link, httpRequest("GET", "/status", {}, kToken))),
                  "HTTP/1.1 200 OK");
    }
    std::string pair(const PhoneLink& link, const std::string& code,
                     const std::string& device = "Galaxy") {
        return send(
            link, httpRequest("POST", "/pair", json({{"code", code}, {"device", device}}).dump()));
    }
    HookServer::Reply reply(std::string name) {
        return HookServer::Reply(
            [this, name](std::optional<std::string> data, std::function<void()>) {
                got.emplace_back(name, data);
            });
    }
    static HookEvent permission(const std::string& session = "s1") {
        return HookEvent::fromJson({{"hook_event_name", "PermissionRequest"},
                                    {"session_id", session},
                                    {"tool_name", "Bash"}})
            .value();
    }
    std::vector<std::string> writesOf(const std::string& key) const {
        std::vector<std::string> out;
        for (const auto& [k, value] : preferences.writes()) {
            if (k == key) out.push_back(value.dump());
        }
        return out;
    }

    ManualMainQueue queue;
    testing::MemoryPreferences preferences;
    std::shared_ptr<testing::FakeRandom> random = std::make_shared<testing::FakeRandom>();
    std::shared_ptr<ApprovalGate> gate = ApprovalGate::create(queue, queue, random);
    std::deque<std::string> codes = {"123456", "234567", "345678", "456789", "567890", "678901"};
    std::optional<std::string> address = "192.168.1.20";
    std::string hostName = "Ada's Laptop";
    bool makeServers = true;
    std::uint16_t serverPort = 0;
    int serversMade = 0;
    std::vector<std::string> launched;
    std::vector<std::pair<std::string, std::optional<std::string>>> got;
};

TEST_F(PhoneLinkTest, SwitchingOnAndOffStartsAndStopsTheServerAndKeepsWhatPhonesLeft) {
    auto link = make();
    EXPECT_FALSE(link->enabled());
    EXPECT_EQ(serversMade, 0);
    link->setEnabled(true);
    EXPECT_EQ(link->pairing().code(), "123456");
    EXPECT_EQ(link->address(), "192.168.1.20");
    EXPECT_EQ(link->status(), "Starting\u2026");
    ASSERT_NE(link->server(), nullptr);
    EXPECT_TRUE(queue.runUntil(
        [&] { return link->status() == "Listening on port " + std::to_string(link->port()); }));
    link->setEnabled(true);  // no change, no write
    EXPECT_EQ(writesOf("phoneEnabled"), std::vector<std::string>{"true"});

    link->projects().note("/src/app");
    link->setEnabled(false);
    EXPECT_EQ(link->server(), nullptr);
    EXPECT_EQ(link->pairing().code(), "");
    EXPECT_EQ(link->status(), "");
    EXPECT_EQ(link->pairingURL(), std::nullopt);
    EXPECT_EQ(link->projects().list(), std::vector<std::string>{"/src/app"});
    EXPECT_EQ(writesOf("phoneEnabled"), (std::vector<std::string>{"true", "false"}));
    queue.advance(1);  // a late status from the stopped server brings no status back
    EXPECT_EQ(link->status(), "");
    link->issueCode();  // no code while off
    EXPECT_EQ(link->pairing().code(), "");

    link->setEnabled(true);  // a new server with a new code
    EXPECT_EQ(serversMade, 2);
    EXPECT_EQ(link->pairing().code(), "234567");
}

TEST_F(PhoneLinkTest, ANewServerGetsTheLastSnapshotAtOnce) {
    preferences.setValue("phoneDevices", {{kToken, "Pixel 8"}});
    auto link = make();
    link->publish({{"host", "Ada's Laptop"}});
    link->setEnabled(true);
    EXPECT_EQ(json::parse(bodyOf(send(*link, httpRequest("GET", "/status", {}, kToken)))),
              json({{"host", "Ada's Laptop"}, {"version", 1}}));
}

TEST_F(PhoneLinkTest, AServerThatCannotStartLeavesTheLinkOnWithoutOne) {
    auto blocker = testing::makeLoopbackPhoneServer(queue, "x", {}, "", {});
    ASSERT_TRUE(blocker->start().ok());
    serverPort = blocker->port();
    auto link = make();
    link->setEnabled(true);
    EXPECT_EQ(link->server(), nullptr);
    const std::string prefix = "Couldn't open port " + std::to_string(PhoneServer::defaultPort());
    EXPECT_TRUE(link->status().starts_with(prefix + ": ")) << link->status();
    EXPECT_GT(link->status().size(), prefix.size() + 2);

    blocker->stop();  // switching off and on tries again
    link->setEnabled(false);
    link->setEnabled(true);
    EXPECT_NE(link->server(), nullptr);

    makeServers = false;
    link->setEnabled(false);
    link->setEnabled(true);
    EXPECT_EQ(link->status(), prefix + ": the phone server could not be created");
}

TEST_F(PhoneLinkTest, APhoneCanAnswerOnlyWhenEveryConditionHolds) {
    auto off = make();
    EXPECT_FALSE(off->canAnswer());
    auto link = makeListening();
    EXPECT_FALSE(link->canAnswer());  // nobody asked for the status yet
    watch(*link);
    EXPECT_TRUE(link->canAnswer());
    queue.advance(35.1);
    EXPECT_FALSE(link->canAnswer());
    watch(*link);

    // Through the gate: held while the phone can answer, released when it no longer can.
    gate->request(permission("s1"), reply("held"));
    link->setApproveFromPhone(false);
    EXPECT_EQ(got, (decltype(got){{"held", std::nullopt}}));
    EXPECT_FALSE(link->canAnswer());
    EXPECT_EQ(writesOf("phoneApprovals"), std::vector<std::string>{"false"});
    link->setApproveFromPhone(true);
    gate->request(permission("s2"), reply("again"));
    link->forgetDevices();
    EXPECT_FALSE(link->canAnswer());
    link->setEnabled(false);
    EXPECT_EQ(got.size(), 2u);
}

TEST_F(PhoneLinkTest, PairingOverTheServerBurnsPausesAndPairs) {
    auto link = makeListening();
    for (int burn = 1; burn <= 4; ++burn) {
        for (int attempt = 0; attempt < 5; ++attempt) {
            EXPECT_EQ(statusLineOf(pair(*link, "000000")), "HTTP/1.1 403 Forbidden");
        }
        ASSERT_TRUE(queue.runUntil([&] { return link->pairing().burnedCodes() == burn; }));
    }
    EXPECT_EQ(link->status(),
              "Pairing paused after repeated wrong codes. Choose \u201cPair a phone\u201d for a "
              "new code.");
    EXPECT_EQ(link->pairingURL(), std::nullopt);
    EXPECT_EQ(statusLineOf(pair(*link, "456789")), "HTTP/1.1 403 Forbidden");  // the last shown

    address = "10.0.0.7";
    link->newCode();  // the pause is over; the address is read again
    EXPECT_EQ(link->status().rfind("Listening on port ", 0), 0u) << link->status();
    EXPECT_NE(link->pairingURL()->find("host=10.0.0.7&"), std::string::npos);
    const auto response = pair(*link, "567 890", "Galaxy S24");
    ASSERT_EQ(statusLineOf(response), "HTTP/1.1 200 OK");
    ASSERT_TRUE(queue.runUntil([&] { return link->pairing().justPaired().has_value(); }));
    const auto token = json::parse(bodyOf(response))["token"].get<std::string>();
    EXPECT_EQ(link->pairing().devices().at(token), "Galaxy S24");
    // The spent code is refused, the fresh one (also on the server) pairs.
    EXPECT_EQ(statusLineOf(pair(*link, "567890")), "HTTP/1.1 403 Forbidden");
    EXPECT_EQ(statusLineOf(pair(*link, link->pairing().code())), "HTTP/1.1 200 OK");
}

TEST_F(PhoneLinkTest, ForgettingPhonesEndsTheirPollsAndKeepsTheCode) {
    auto link = makeListening();
    const auto code = link->pairing().code();
    link->forgetDevices();
    EXPECT_TRUE(link->pairing().devices().empty());
    EXPECT_EQ(link->pairing().code(), code);
    EXPECT_EQ(statusLineOf(send(*link, httpRequest("GET", "/status", {}, kToken))),
              "HTTP/1.1 401 Unauthorized");
    EXPECT_EQ(statusLineOf(pair(*link, code)), "HTTP/1.1 200 OK");
}

TEST_F(PhoneLinkTest, ThePairingAddressAndStatusLines) {
    hostName = "Ada's Laptop & Co=1?";
    auto link = makeListening();
    const auto port = std::to_string(link->port());
    EXPECT_EQ(link->pairingURL(), "brimwick://pair?host=192.168.1.20&port=" + port +
                                      "&code=123456&name=Ada%27s%20Laptop%20%26%20Co%3D1%3F");
    EXPECT_EQ(phoneStatusLines(*link),
              (std::vector<std::string>{"phone: Listening on port " + port, "Pairing code: 123 456",
                                        *link->pairingURL(),
                                        "app: http://192.168.1.20:" + port + "/app"}));
    pair(*link, "123456", "Pixel 9");
    ASSERT_TRUE(queue.runUntil([&] { return link->pairing().justPaired().has_value(); }));
    EXPECT_EQ(phoneStatusLines(*link).back(), "paired: Pixel 9");
    queue.advance(3);
    link->setEnabled(false);
    EXPECT_EQ(phoneStatusLines(*link), std::vector<std::string>{"phone: "});
}

TEST_F(PhoneLinkTest, WhatAPhoneAsksForReachesTheGateThePromptsAndTheProjects) {
    auto link = makeListening();
    watch(*link);
    random->uuids = {"3F2504E0-4F89-41D3-9A0C-0305E82C3301"};
    gate->request(permission(), reply("held"));
    const auto decide = [&] {
        return sendRunning(*link, httpRequest("POST", "/decide",
                                              R"({"id":"3f2504e0","decision":"deny"})", kToken));
    };
    EXPECT_EQ(statusLineOf(decide()), "HTTP/1.1 202 Accepted");
    ASSERT_EQ(got.size(), 1u);
    EXPECT_NE(got[0].second->find("\"deny\""), std::string::npos);
    EXPECT_EQ(json::parse(bodyOf(decide())),
              json({{"message", "That request is no longer waiting."}}));

    const auto promptBody = json({{"session", "s1"}, {"text", "  hello  "}}).dump();
    auto response = sendRunning(*link, httpRequest("POST", "/prompt", promptBody, kToken));
    EXPECT_EQ(json::parse(bodyOf(response)), json({{"message", "Brimwick isn't ready"}}));
    std::vector<std::pair<std::string, std::string>> asked;
    link->onPrompt = [&](const std::string& session, const std::string& text) {
        asked.emplace_back(session, text);
        return Outcome{true, "queued"};
    };
    response = sendRunning(*link, httpRequest("POST", "/prompt", promptBody, kToken));
    EXPECT_EQ(statusLineOf(response), "HTTP/1.1 202 Accepted");
    EXPECT_EQ(asked, (decltype(asked){{"s1", "hello"}}));

    link->projects().note("/src/weather");
    response = sendRunning(
        *link, httpRequest("POST", "/new", R"({"path":"/src/weather","text":"Go"})", kToken));
    EXPECT_EQ(json::parse(bodyOf(response)),
              json({{"message", "Starting a new session in weather in a terminal."}}));
    EXPECT_EQ(launched, std::vector<std::string>{"/src/weather"});
}

TEST_F(PhoneLinkTest, ALinkThatIsGoneLeavesNoWorkBehind) {
    auto link = makeListening();
    pair(*link, "123456");
    link.reset();
    queue.advance(200);
    queue.runPending();
    EXPECT_TRUE(preferences.value("phoneDevices")->size() == 1);  // the late pairing found nobody
}

}  // namespace
}  // namespace brimwick
