// The phone link over its real loopback server: switching, pairing, who can answer, and what a
// phone's requests reach.
#include "phone/phone_link.h"

#include "phone/phone_fixture.h"
#include "phone/phone_status_lines.h"

namespace brimwick {
namespace {

using nlohmann::json;
using testing::httpRequest;
using testing::statusLineOf;
using Lines = std::vector<std::string>;
constexpr const char* kToken = "feedfacefeedfacefeedfacefeedfacefeedfacefeedfacefeedfacefeedface";

class PhoneLinkTest : public ::testing::Test, public testing::PairingLink {
  protected:
    // A link that is on, with one paired phone.
    std::shared_ptr<PhoneLink> makeListening() {
        preferences.setValue("phoneDevices", {{kToken, "Pixel 8"}});
        return make(true);
    }
    std::string ask(const PhoneLink& link, const std::string& method, const std::string& target,
                    const std::string& body = {}) {
        return send(link, httpRequest(method, target, body, kToken), true);
    }
    HookServer::Reply reply(std::string name) {
        return HookServer::Reply(
            [this, name](std::optional<std::string> data, std::function<void()>) {
                got.emplace_back(name, data);
            });
    }
    static HookEvent permission(const std::string& session) {
        return HookEvent::fromJson({{"hook_event_name", "PermissionRequest"},
                                    {"session_id", session},
                                    {"tool_name", "Bash"}})
            .value();
    }
    Lines writesOf(const std::string& key) const {
        Lines out;
        for (const auto& [k, value] : preferences.writes()) {
            if (k == key) out.push_back(value.dump());
        }
        return out;
    }
    std::vector<std::pair<std::string, std::optional<std::string>>> got;
};

TEST_F(PhoneLinkTest, SwitchingOnAndOffStartsAndStopsTheServerAndKeepsWhatPhonesLeft) {
    preferences.setValue("phoneDevices", {{kToken, "Pixel 8"}});
    auto link = make(false);
    EXPECT_FALSE(link->enabled());
    EXPECT_EQ(serversMade, 0);
    link->publish({{"host", "Ada's Laptop"}});  // a new server gets the last snapshot at once
    link->setEnabled(true);
    EXPECT_EQ(link->pairing().code(), "012345");
    EXPECT_EQ(link->address(), "192.168.1.20");
    EXPECT_EQ(link->status(), "Starting\u2026");
    ASSERT_NE(link->server(), nullptr);
    EXPECT_EQ(json::parse(testing::bodyOf(send(*link, httpRequest("GET", "/status", {}, kToken)))),
              json({{"host", "Ada's Laptop"}, {"version", 1}}));
    EXPECT_TRUE(queue.runUntil(
        [&] { return link->status() == "Listening on port " + std::to_string(link->port()); }));
    link->setEnabled(true);  // no change, no write
    EXPECT_EQ(writesOf("phoneEnabled"), Lines{"true"});

    link->projects().note("/src/app");
    link->setEnabled(false);
    EXPECT_EQ(link->server(), nullptr);
    EXPECT_EQ(link->pairing().code(), "");
    EXPECT_EQ(link->status(), "");
    EXPECT_EQ(link->pairingURL(), std::nullopt);
    EXPECT_EQ(link->projects().list(), Lines{"/src/app"});
    EXPECT_EQ(writesOf("phoneEnabled"), (Lines{"true", "false"}));
    queue.advance(1);  // a late status from the stopped server brings no status back
    EXPECT_EQ(link->status(), "");
    link->issueCode();  // no code while off
    EXPECT_EQ(link->pairing().code(), "");
    link->setEnabled(true);  // a new server with a new code
    EXPECT_EQ(serversMade, 2);
    EXPECT_EQ(link->pairing().code(), "234567");
}

TEST_F(PhoneLinkTest, AServerThatCannotStartLeavesTheLinkOnWithoutOne) {
    auto blocker = testing::makeLoopbackPhoneServer(queue, "x", {}, "", {});
    ASSERT_TRUE(blocker->start().ok());
    serverPort = blocker->port();
    auto link = make(false);
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
    EXPECT_FALSE(make(false)->canAnswer());
    auto link = makeListening();
    EXPECT_FALSE(link->canAnswer());  // nobody asked for the status yet
    ask(*link, "GET", "/status");     // from now on the phone counts as watching for 35 s
    EXPECT_TRUE(link->canAnswer());
    queue.advance(35.1);
    EXPECT_FALSE(link->canAnswer());
    ask(*link, "GET", "/status");
    // Through the gate: held while the phone can answer, released when it no longer can.
    gate->request(permission("s1"), reply("held"));
    link->setApproveFromPhone(false);
    EXPECT_EQ(got, (decltype(got){{"held", std::nullopt}}));
    EXPECT_FALSE(link->canAnswer());
    EXPECT_EQ(writesOf("phoneApprovals"), Lines{"false"});
    link->setApproveFromPhone(true);
    gate->request(permission("s2"), reply("again"));
    link->forgetDevices();
    EXPECT_FALSE(link->canAnswer());
    link->setEnabled(false);
    EXPECT_EQ(got.size(), 2u);
}

TEST_F(PhoneLinkTest, PairingBurnsPausesAndPairsAndForgettingKeepsTheCode) {
    auto link = makeListening();
    burnCodes(*link, 4);
    EXPECT_EQ(link->status(),
              "Pairing paused after repeated wrong codes. Choose \u201cPair a phone\u201d for a "
              "new code.");
    EXPECT_EQ(link->pairingURL(), std::nullopt);
    EXPECT_EQ(pair(*link, "456789", "Galaxy"), "HTTP/1.1 403 Forbidden");  // the last shown

    address = "10.0.0.7";
    link->newCode();  // the pause is over; the address is read again
    EXPECT_TRUE(link->status().starts_with("Listening on port ")) << link->status();
    EXPECT_NE(link->pairingURL()->find("host=10.0.0.7&"), std::string::npos);
    const auto response = pair(*link, "567 890", "Galaxy S24", true);
    ASSERT_EQ(statusLineOf(response), "HTTP/1.1 200 OK");
    ASSERT_TRUE(queue.runUntil([&] { return link->pairing().justPaired().has_value(); }));
    const auto token = json::parse(testing::bodyOf(response))["token"].get<std::string>();
    EXPECT_EQ(link->pairing().devices().at(token), "Galaxy S24");
    // The spent code is refused, the fresh one (also on the server) pairs.
    EXPECT_EQ(pair(*link, "567890", "Galaxy"), "HTTP/1.1 403 Forbidden");
    pairPhone(*link, "Galaxy");

    // Forgetting ends the phones' tokens, not the code.
    const auto code = link->pairing().code();
    link->forgetDevices();
    EXPECT_TRUE(link->pairing().devices().empty());
    EXPECT_EQ(link->pairing().code(), code);
    EXPECT_EQ(statusLineOf(ask(*link, "GET", "/status")), "HTTP/1.1 401 Unauthorized");
    EXPECT_EQ(pair(*link, code, "Galaxy"), "HTTP/1.1 200 OK");
}

TEST_F(PhoneLinkTest, ThePairingAddressAndStatusLines) {
    hostName = "Ada's Laptop & Co=1?";
    auto link = makeListening();
    const auto port = std::to_string(link->port());
    EXPECT_EQ(link->pairingURL(), "brimwick://pair?host=192.168.1.20&port=" + port +
                                      "&code=012345&name=Ada%27s%20Laptop%20%26%20Co%3D1%3F");
    EXPECT_EQ(phoneStatusLines(*link),
              (Lines{"phone: Listening on port " + port, "Pairing code: 012 345",
                     *link->pairingURL(), "app: http://192.168.1.20:" + port + "/app"}));
    pairPhone(*link, "Pixel 9");
    EXPECT_EQ(phoneStatusLines(*link).back(), "paired: Pixel 9");
    queue.advance(3);
    link->setEnabled(false);
    EXPECT_EQ(phoneStatusLines(*link), Lines{"phone: "});
}

TEST_F(PhoneLinkTest, WhatAPhoneAsksForReachesTheGateThePromptsAndTheProjects) {
    auto link = makeListening();
    ask(*link, "GET", "/status");
    random->uuids = {"3F2504E0-4F89-41D3-9A0C-0305E82C3301"};
    gate->request(permission("s1"), reply("held"));
    const auto decide = R"({"id":"3f2504e0","decision":"deny"})";
    EXPECT_EQ(statusLineOf(ask(*link, "POST", "/decide", decide)), "HTTP/1.1 202 Accepted");
    ASSERT_EQ(got.size(), 1u);
    EXPECT_NE(got[0].second->find("\"deny\""), std::string::npos);
    EXPECT_EQ(testing::bodyOf(ask(*link, "POST", "/decide", decide)),
              R"({"message":"That request is no longer waiting."})");

    const auto prompt = R"({"session":"s1","text":"  hello  "})";
    EXPECT_EQ(testing::bodyOf(ask(*link, "POST", "/prompt", prompt)),
              R"({"message":"Brimwick isn't ready"})");
    std::vector<std::pair<std::string, std::string>> asked;
    link->onPrompt = [&](const std::string& session, const std::string& text) {
        asked.emplace_back(session, text);
        return Outcome{true, "queued"};
    };
    EXPECT_EQ(statusLineOf(ask(*link, "POST", "/prompt", prompt)), "HTTP/1.1 202 Accepted");
    EXPECT_EQ(asked, (decltype(asked){{"s1", "hello"}}));

    link->projects().note("/src/weather");
    EXPECT_EQ(testing::bodyOf(ask(*link, "POST", "/new", R"({"path":"/src/weather","text":"Go"})")),
              R"({"message":"Starting a new session in weather in a terminal."})");
    EXPECT_EQ(launched, Lines{"/src/weather"});
}

TEST_F(PhoneLinkTest, ALinkThatIsGoneLeavesNoWorkBehind) {
    auto link = makeListening();
    pair(*link, "012345", "Galaxy");
    link.reset();
    queue.advance(200);
    queue.runPending();
    EXPECT_EQ(preferences.value("phoneDevices")->size(), 1u);  // the late pairing found nobody
}

}  // namespace
}  // namespace brimwick
