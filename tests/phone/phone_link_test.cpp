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
using testing::FakeRandom;
using testing::ManualMainQueue;
using testing::MemoryPreferences;
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

AgentSession sessionOf(const std::string& id, const std::string& project, BotState state) {
    AgentSession session;
    session.id = id;
    session.project = project;
    session.state = state;
    return session;
}

// Records the answers a held hook gets, in order, by the name the test gave the request.
struct HookReplies {
    std::vector<std::pair<std::string, std::optional<std::string>>> got;

    HookServer::Reply make(std::string name) {
        return [this, name](std::optional<std::string> data) { got.emplace_back(name, data); };
    }
    int count(const std::string& name) const {
        int n = 0;
        for (const auto& [which, data] : got) n += which == name;
        return n;
    }
};

class PhoneLinkTest : public ::testing::Test {
  protected:
    PhoneLinkTest() {
        random->uuids = {"3F2504E0-4F89-41D3-9A0C-0305E82C3301",
                         "0A1B2C3D-0000-4000-8000-000000000000",
                         "DEADBEEF-0000-4000-8000-000000000000"};
    }

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
        s.random = random;
        s.launchSession = [this](const std::string& folder, const std::string& prompt) {
            launches.emplace_back(folder, prompt);
            return launchResult;
        };
        s.isDirectory = [this](const std::string& path) { return directories.count(path) > 0; };
        s.hostName = hostName;
        return s;
    }

    std::shared_ptr<PhoneLink> make() {
        auto link = PhoneLink::create(queue, queue, preferences, services());
        subscription = link->changed.connect([this] { ++changes; });
        return link;
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

    static HookEvent event(const std::string& name, const std::string& session = "s1",
                           json fields = json::object()) {
        json payload = {{"hook_event_name", name}, {"session_id", session}};
        payload.update(fields);
        auto decoded = HookEvent::fromJson(payload);
        EXPECT_TRUE(decoded) << payload.dump();
        return decoded.value_or(HookEvent{});
    }

    static HookEvent permission(const std::string& session = "s1", json fields = json::object()) {
        json base = {{"tool_name", "Bash"}, {"tool_input", {{"command", "npm test"}}}};
        base.update(fields);
        return event("PermissionRequest", session, base);
    }

    std::vector<std::string> writesOf(const std::string& key) const {
        std::vector<std::string> out;
        for (const auto& [k, value] : preferences.writes()) {
            if (k == key) out.push_back(value.dump());
        }
        return out;
    }

    ManualMainQueue queue;
    MemoryPreferences preferences;
    std::shared_ptr<FakeRandom> random = std::make_shared<FakeRandom>();
    std::deque<std::string> codes = {"123456", "234567", "345678", "456789", "567890", "678901"};
    std::optional<std::string> address = "192.168.1.20";
    std::optional<std::string> hostName = "Ada's Laptop";
    bool makeServers = true;
    std::uint16_t serverPort = 0;
    int serversMade = 0;
    std::vector<std::pair<std::string, std::string>> launches;
    Result<void> launchResult;
    std::set<std::string> directories;
    HookReplies replies;
    int changes = 0;
    Subscription subscription;
};

// MARK: preferences and switching

TEST_F(PhoneLinkTest, StartsOffWithDefaultsWhenNothingIsStored) {
    auto link = make();
    EXPECT_FALSE(link->enabled());
    EXPECT_TRUE(link->approveFromPhone());
    EXPECT_TRUE(link->devices().empty());
    EXPECT_TRUE(link->projects().empty());
    EXPECT_EQ(link->code(), "");
    EXPECT_EQ(link->status(), "");
    EXPECT_EQ(link->server(), nullptr);
    EXPECT_EQ(serversMade, 0);
    EXPECT_EQ(link->hostName(), "Ada's Laptop");
    EXPECT_TRUE(preferences.writes().empty());
}

TEST_F(PhoneLinkTest, StoredValuesOfTheWrongShapeCountAsTheirDefaults) {
    preferences = MemoryPreferences({{"phoneEnabled", "yes"},
                                     {"phoneApprovals", 0},
                                     {"phoneDevices", {{"tokenA", "Pixel"}, {"tokenB", 7}}},
                                     {"phoneProjects", json::array({"/a", 3})}});
    auto link = make();
    EXPECT_FALSE(link->enabled());
    EXPECT_TRUE(link->approveFromPhone());
    EXPECT_TRUE(link->devices().empty());
    EXPECT_TRUE(link->projects().empty());

    hostName = "";
    EXPECT_EQ(make()->hostName(), "Mac");
}

TEST_F(PhoneLinkTest, StoredPhonesAndProjectsNoPairingCouldMakeAreCleanedWhenRead) {
    const std::string token(64, 'a');
    preferences = MemoryPreferences(
        {{"phoneDevices",
          {{token, "Pixel\u001b[31m\r\nForged line" + std::string(100, 'x')},
           {std::string(65, 'b'), "Too long a token"}}},
         {"phoneProjects", json::array({std::string(4097, 'p'), "/src/app", "/src/web"})}});
    auto link = make();
    const std::string name = "Pixel[31m  Forged line" + std::string(38, 'x');
    EXPECT_EQ(link->devices(), (std::map<std::string, std::string>{{token, name}}));
    EXPECT_EQ(link->projects(), (std::vector<std::string>{"/src/app", "/src/web"}));
    EXPECT_EQ(preferences.value("phoneDevices"), json({{token, name}}));
    EXPECT_EQ(preferences.value("phoneProjects"), json({"/src/app", "/src/web"}));
}

TEST_F(PhoneLinkTest, DeviceNamesAreSortedByPlainComparison) {
    preferences.setValue("phoneDevices", {{"t1", "pixel"}, {"t2", "Zed"}, {"t3", "Anna"}});
    EXPECT_EQ(make()->deviceNames(), (std::vector<std::string>{"Anna", "Zed", "pixel"}));
}

TEST_F(PhoneLinkTest, SwitchingOnStartsAServerWithACodeAndTheAddress) {
    auto link = make();
    link->setEnabled(true);
    EXPECT_TRUE(link->enabled());
    EXPECT_EQ(link->code(), "123456");
    EXPECT_EQ(link->address(), "192.168.1.20");
    EXPECT_EQ(link->status(), "Starting…");
    ASSERT_NE(link->server(), nullptr);
    EXPECT_NE(link->port(), 0);
    EXPECT_EQ(writesOf("phoneEnabled"), std::vector<std::string>{"true"});
    EXPECT_GT(changes, 0);
    EXPECT_TRUE(queue.runUntil(
        [&] { return link->status() == "Listening on port " + std::to_string(link->port()); }));

    link->setEnabled(true);  // no change, no write
    EXPECT_EQ(writesOf("phoneEnabled").size(), 1u);
    EXPECT_EQ(serversMade, 1);
}

TEST_F(PhoneLinkTest, ANewServerGetsTheLastSnapshotAtOnce) {
    preferences.setValue("phoneDevices", {{kToken, "Pixel 8"}});
    auto link = make();
    link->setLastSnapshot({{"host", "Ada's Laptop"}, {"sessions", json::array()}});
    link->setEnabled(true);
    const auto body = json::parse(bodyOf(send(*link, httpRequest("GET", "/status", {}, kToken))));
    EXPECT_EQ(body, json({{"host", "Ada's Laptop"}, {"sessions", json::array()}, {"version", 1}}));

    link->publish({{"host", "later"}});
    EXPECT_EQ(link->lastSnapshot(), json({{"host", "later"}}));
    EXPECT_TRUE(queue.runUntil([&] {
        return json::parse(bodyOf(send(*link, httpRequest("GET", "/status", {}, kToken))))
                   .value("version", 0) == 2;
    }));
}

TEST_F(PhoneLinkTest, SwitchingOffReleasesRequestsAndKeepsPhonesProjectsAndQueues) {
    auto link = makeListening();
    watch(*link);
    link->noteProject("/src/app");
    const auto session = sessionOf("s2", "app", BotState::working);
    link->queuePrompt("later", session);
    link->request(permission(), replies.make("held"));
    ASSERT_EQ(link->approvals().size(), 1u);

    link->setEnabled(false);
    EXPECT_EQ(replies.got, (decltype(replies.got){{"held", std::nullopt}}));
    EXPECT_TRUE(link->approvals().empty());
    EXPECT_EQ(link->server(), nullptr);
    EXPECT_EQ(link->code(), "");
    EXPECT_EQ(link->status(), "");
    EXPECT_EQ(link->pairingURL(), std::nullopt);
    EXPECT_EQ(link->devices().size(), 1u);
    EXPECT_EQ(link->projects(), std::vector<std::string>{"/src/app"});
    EXPECT_EQ(link->queued().at("s2"), std::vector<std::string>{"later"});
    EXPECT_EQ(link->address(), "192.168.1.20");
    EXPECT_EQ(writesOf("phoneEnabled"), (std::vector<std::string>{"true", "false"}));

    // A late status from the stopped server does not bring a status back.
    queue.advance(1);
    EXPECT_EQ(link->status(), "");

    link->setEnabled(true);  // a new server with a new code
    EXPECT_EQ(serversMade, 2);
    EXPECT_EQ(link->code(), "234567");
}

TEST_F(PhoneLinkTest, AServerThatCannotListenLeavesTheLinkOnWithoutAServer) {
    auto blocker = PhoneServer::create("x", {}, "", {}, [] {
        PhoneServer::Options o;
        o.port = 0;
        o.address = "127.0.0.1";
        return o;
    }());
    ASSERT_TRUE(blocker->start().ok());
    serverPort = blocker->port();
    auto link = make();
    link->setEnabled(true);
    EXPECT_TRUE(link->enabled());
    EXPECT_EQ(link->server(), nullptr);
    EXPECT_TRUE(link->status().starts_with("Couldn't open port " +
                                           std::to_string(PhoneServer::defaultPort()) + ": "))
        << link->status();
    EXPECT_GT(link->status().size(), std::string("Couldn't open port 47822: ").size());

    // Switching off and on tries again.
    blocker->stop();
    link->setEnabled(false);
    link->setEnabled(true);
    EXPECT_NE(link->server(), nullptr);
}

// MARK: the permission gate

TEST_F(PhoneLinkTest, RequestsWaitOnlyWhenEveryConditionHolds) {
    // Off.
    {
        auto link = make();
        link->request(permission(), replies.make("off"));
        EXPECT_EQ(replies.count("off"), 1);
        EXPECT_TRUE(link->approvals().empty());
    }
    auto link = makeListening();
    // On, paired, but nobody asked for the status yet.
    link->request(permission(), replies.make("unwatched"));
    EXPECT_EQ(replies.count("unwatched"), 1);

    watch(*link);
    // Approvals from the phone switched off.
    link->setApproveFromPhone(false);
    link->request(permission(), replies.make("approvalsOff"));
    EXPECT_EQ(replies.count("approvalsOff"), 1);
    link->setApproveFromPhone(true);

    // Every condition holds: the request waits.
    link->request(permission(), replies.make("held"));
    EXPECT_EQ(replies.count("held"), 0);
    EXPECT_EQ(link->approvals().size(), 1u);
    link->decide(link->approvals().begin()->first, "terminal");

    // No phone paired any more.
    link->forgetDevices();
    link->request(permission(), replies.make("noPhones"));
    EXPECT_EQ(replies.count("noPhones"), 1);
    EXPECT_TRUE(link->approvals().empty());
    for (const auto& [name, data] : replies.got) EXPECT_EQ(data, std::nullopt) << name;
}

TEST_F(PhoneLinkTest, APhoneCountsAsWatchingFor35SecondsAfterItsLastStatus) {
    auto link = makeListening();
    watch(*link);
    queue.advance(34.9);
    link->request(permission("s1"), replies.make("inside"));
    EXPECT_EQ(replies.count("inside"), 0);
    queue.advance(0.2);
    link->request(permission("s2"), replies.make("after"));
    EXPECT_EQ(replies.count("after"), 1);
}

TEST_F(PhoneLinkTest, WithoutAServerRequestsAreAnsweredAtOnce) {
    makeServers = false;
    preferences.setValue("phoneEnabled", true);
    preferences.setValue("phoneDevices", {{kToken, "Pixel 8"}});
    auto link = make();
    EXPECT_EQ(link->server(), nullptr);
    EXPECT_TRUE(link->status().starts_with("Couldn't open port ")) << link->status();
    link->request(permission(), replies.make("noServer"));
    EXPECT_EQ(replies.count("noServer"), 1);
}

TEST_F(PhoneLinkTest, AHeldRequestCarriesWhatThePhoneNeeds) {
    auto link = makeListening();
    watch(*link);
    const Instant asked = queue.now();
    changes = 0;
    link->request(
        event("PermissionRequest", "s1",
              {{"tool_input", {{"command", "rm -rf build"}}},
               {"permission_suggestions", {{{"type", "addRules"}, {"behavior", "allow"}}}}}),
        replies.make("held"));
    EXPECT_GT(changes, 0);
    ASSERT_EQ(link->approvals().size(), 1u);
    const auto& [id, approval] = *link->approvals().begin();
    EXPECT_EQ(id, "3f2504e0");
    EXPECT_EQ(approval.id, "3f2504e0");
    EXPECT_EQ(approval.sessionId, "s1");
    EXPECT_EQ(approval.tool, "Tool");  // the request named none
    EXPECT_EQ(approval.detail, "rm -rf build");
    ASSERT_TRUE(approval.suggestions);
    EXPECT_EQ(approval.suggestions->size(), 1u);
    EXPECT_DOUBLE_EQ(approval.expiresAt, asked + 110.0);
}

TEST_F(PhoneLinkTest, ApprovalIdsNeverCollideWithAWaitingOne) {
    random->uuids = {"AAAAAAAA-0000-4000-8000-000000000000", "AAAAAAAA-1111-4000-8000-000000000000",
                     "BBBBBBBB-0000-4000-8000-000000000000"};
    auto link = makeListening();
    watch(*link);
    link->request(permission("s1"), replies.make("one"));
    link->request(permission("s2"), replies.make("two"));
    ASSERT_EQ(link->approvals().size(), 2u);
    EXPECT_TRUE(link->approvals().count("aaaaaaaa"));
    EXPECT_TRUE(link->approvals().count("bbbbbbbb"));
    EXPECT_TRUE(replies.got.empty());
}

TEST_F(PhoneLinkTest, ANewerRequestOfTheSameSessionSupersedesTheOlder) {
    auto link = makeListening();
    watch(*link);
    link->request(permission("s1"), replies.make("first"));
    link->request(permission("s2"), replies.make("other"));
    link->request(permission("s1", {{"tool_name", "Edit"}}), replies.make("second"));

    EXPECT_EQ(replies.got, (decltype(replies.got){{"first", std::nullopt}}));
    ASSERT_EQ(link->approvals().size(), 2u);
    EXPECT_FALSE(link->approvals().count("3f2504e0"));
    EXPECT_EQ(link->approvals().at("deadbeef").tool, "Edit");
    EXPECT_EQ(link->approvals().at("0a1b2c3d").sessionId, "s2");

    // The superseded one's answer from the phone comes too late.
    link->decide("3f2504e0", "allow");
    EXPECT_EQ(replies.got.size(), 1u);
}

TEST_F(PhoneLinkTest, EventsThatMovePastTheQuestionReleaseIt) {
    auto link = makeListening();
    watch(*link);
    for (const char* name : {"PreToolUse", "PostToolUse", "PostToolUseFailure", "PostToolBatch",
                             "UserPromptSubmit", "Stop", "StopFailure", "SessionEnd"}) {
        replies.got.clear();
        link->request(permission("s1"), replies.make("mine"));
        link->request(permission("s2"), replies.make("other"));
        link->sessionMoved(event(name, "s1"));
        EXPECT_EQ(replies.got, (decltype(replies.got){{"mine", std::nullopt}})) << name;
        ASSERT_EQ(link->approvals().size(), 1u) << name;
        EXPECT_EQ(link->approvals().begin()->second.sessionId, "s2") << name;
        link->sessionMoved(event(name, "s2"));
    }
}

TEST_F(PhoneLinkTest, OtherEventsLeaveTheQuestionWaiting) {
    auto link = makeListening();
    watch(*link);
    link->request(permission("s1"), replies.make("held"));
    for (const char* name : {"Notification", "PermissionRequest", "SessionStart", "PreCompact",
                             "SubagentStop", "posttooluse", "Stop "}) {
        link->sessionMoved(event(name, "s1"));
    }
    EXPECT_TRUE(replies.got.empty());
    EXPECT_EQ(link->approvals().size(), 1u);
}

TEST_F(PhoneLinkTest, ARequestExpiresAfter110Seconds) {
    auto link = makeListening();
    watch(*link);
    link->request(permission(), replies.make("held"));
    const auto id = link->approvals().begin()->first;
    queue.advance(109.9);
    EXPECT_TRUE(replies.got.empty());
    queue.advance(0.1);
    EXPECT_EQ(replies.got, (decltype(replies.got){{"held", std::nullopt}}));
    EXPECT_TRUE(link->approvals().empty());

    link->decide(id, "allow");  // too late
    EXPECT_EQ(replies.got.size(), 1u);
}

TEST_F(PhoneLinkTest, AnAnsweredRequestsTimerDoesNotTouchALaterOne) {
    random->uuids = {"AAAAAAAA-0000-4000-8000-000000000000",
                     "AAAAAAAA-0000-4000-8000-000000000000"};
    auto link = makeListening();
    watch(*link);
    link->request(permission(), replies.make("first"));
    link->decide("aaaaaaaa", "deny");
    queue.advance(50);
    watch(*link);
    link->request(permission(), replies.make("second"));  // the same id again
    queue.advance(60.5);                                  // the first request's 110 s are over
    EXPECT_EQ(replies.count("second"), 0);
    queue.advance(50);
    EXPECT_EQ(replies.count("second"), 1);
}

// MARK: decisions

TEST_F(PhoneLinkTest, DecisionsBecomeTheHookAnswer) {
    const json suggestion = {{"type", "addRules"},
                             {"rules", {{{"toolName", "Bash"}, {"ruleContent", "npm test"}}}},
                             {"behavior", "allow"},
                             {"destination", "localSettings"}};
    struct Row {
        std::string decision;
        bool withSuggestions;
        std::optional<std::string> expected;
    };
    const std::vector<Row> rows = {
        {"allow", true,
         R"({"hookSpecificOutput":{"decision":{"behavior":"allow"},"hookEventName":"PermissionRequest"}})"},
        {"always", true,
         R"({"hookSpecificOutput":{"decision":{"behavior":"allow","updatedPermissions":[{"behavior":"allow","destination":"localSettings","rules":[{"ruleContent":"npm test","toolName":"Bash"}],"type":"addRules"}]},"hookEventName":"PermissionRequest"}})"},
        {"always", false,
         R"({"hookSpecificOutput":{"decision":{"behavior":"allow"},"hookEventName":"PermissionRequest"}})"},
        {"deny", true,
         R"({"hookSpecificOutput":{"decision":{"behavior":"deny","message":"Denied from Brimwick on the user's phone."},"hookEventName":"PermissionRequest"}})"},
        {"terminal", true, std::nullopt},
        {"Allow", true, std::nullopt},
        {"", true, std::nullopt},
    };
    auto link = makeListening();
    for (const auto& row : rows) {
        random->uuids = {"CAFEF00D-0000-4000-8000-000000000000"};
        watch(*link);
        replies.got.clear();
        json fields = json::object();
        if (row.withSuggestions) fields["permission_suggestions"] = json::array({suggestion});
        link->request(permission("s1", fields), replies.make("held"));
        ASSERT_EQ(link->approvals().count("cafef00d"), 1u);
        link->decide("cafef00d", row.decision);
        EXPECT_EQ(replies.got, (decltype(replies.got){{"held", row.expected}})) << row.decision;
        EXPECT_TRUE(link->approvals().empty());
    }
}

TEST_F(PhoneLinkTest, AlwaysWithAnEmptySuggestionListAnswersLikeAllow) {
    EXPECT_EQ(PhoneLink::decisionAnswer("always", std::vector<json>{}),
              PhoneLink::decisionAnswer("allow", std::nullopt));
}

TEST_F(PhoneLinkTest, ADecisionForARequestThatIsNotWaitingIsRefused) {
    const PhoneLink::Outcome notWaiting{false, "That request is no longer waiting."};
    auto link = makeListening();
    watch(*link);
    EXPECT_EQ(link->request(permission(), replies.make("held")), "3f2504e0");
    EXPECT_EQ(link->decide("00000000", "allow"), notWaiting);
    EXPECT_TRUE(replies.got.empty());
    link->withdraw("3f2504e0");  // its hook went away
    link->withdraw("3f2504e0");
    EXPECT_EQ(replies.got, (decltype(replies.got){{"held", std::nullopt}}));
    EXPECT_EQ(link->decide("3f2504e0", "allow"), notWaiting);
    EXPECT_EQ(replies.got.size(), 1u);
}

TEST_F(PhoneLinkTest, ThePhonesDecisionTravelsFromTheServerToTheHook) {
    auto link = makeListening();
    watch(*link);
    link->request(permission(), replies.make("held"));
    const auto response = sendRunning(
        *link, httpRequest("POST", "/decide", R"({"id":"3f2504e0","decision":"deny"})", kToken));
    EXPECT_EQ(statusLineOf(response), "HTTP/1.1 202 Accepted");
    ASSERT_EQ(replies.got.size(), 1u);
    EXPECT_EQ(
        replies.got[0].second,
        R"({"hookSpecificOutput":{"decision":{"behavior":"deny","message":"Denied from Brimwick on the user's phone."},"hookEventName":"PermissionRequest"}})");
}

TEST_F(PhoneLinkTest, TurningApprovalsOffReleasesEveryWaitingRequest) {
    auto link = makeListening();
    watch(*link);
    link->request(permission("s1"), replies.make("a"));
    link->request(permission("s2"), replies.make("b"));
    link->setApproveFromPhone(false);
    EXPECT_EQ(replies.got.size(), 2u);
    EXPECT_TRUE(link->approvals().empty());
    EXPECT_EQ(writesOf("phoneApprovals"), std::vector<std::string>{"false"});
    link->setApproveFromPhone(false);
    link->setApproveFromPhone(true);
    EXPECT_EQ(writesOf("phoneApprovals"), (std::vector<std::string>{"false", "true"}));
}

// MARK: pairing codes

TEST_F(PhoneLinkTest, TheFourthBurnedCodeInARowPausesPairing) {
    auto link = makeListening();
    const std::vector<std::string> fresh = {"234567", "345678", "456789"};
    for (int burn = 1; burn <= 4; ++burn) {
        const auto before = link->code();
        for (int attempt = 0; attempt < 5; ++attempt) {
            EXPECT_EQ(statusLineOf(pair(*link, "000000")), "HTTP/1.1 403 Forbidden");
        }
        ASSERT_TRUE(queue.runUntil([&] { return link->burnedCodes() == burn; })) << burn;
        if (burn < 4) {
            EXPECT_EQ(link->code(), fresh[burn - 1]);
        }
    }
    EXPECT_EQ(link->code(), "");
    EXPECT_EQ(
        link->status(),
        "Pairing paused after repeated wrong codes. Choose \u201cPair a phone\u201d for a new "
        "code.");
    EXPECT_EQ(link->pairingURL(), std::nullopt);
    // Nothing pairs while paused, not even the last code shown.
    EXPECT_EQ(statusLineOf(pair(*link, "456789")), "HTTP/1.1 403 Forbidden");

    link->newCode();
    EXPECT_EQ(link->burnedCodes(), 0);
    EXPECT_EQ(link->code(), "567890");
    // The pause is over: the status is the listener's again.
    EXPECT_EQ(link->status().rfind("Listening on port ", 0), 0u) << link->status();
    EXPECT_EQ(statusLineOf(pair(*link, "567 890")), "HTTP/1.1 200 OK");
}

TEST_F(PhoneLinkTest, PairingRemembersThePhoneAndReplacesTheCode) {
    auto link = makeListening();
    int closed = 0;
    link->closePairingWindow = [&] { ++closed; };
    // Two burns first: a pairing starts the count again.
    for (int i = 0; i < 10; ++i) pair(*link, "000000");
    ASSERT_TRUE(queue.runUntil([&] { return link->burnedCodes() == 2; }));
    const auto code = link->code();

    const auto response = pair(*link, code, "Galaxy S24");
    ASSERT_EQ(statusLineOf(response), "HTTP/1.1 200 OK");
    const auto token = json::parse(bodyOf(response))["token"].get<std::string>();
    ASSERT_TRUE(queue.runUntil([&] { return link->justPaired().has_value(); }));

    EXPECT_EQ(link->justPaired(), "Galaxy S24");
    EXPECT_EQ(link->devices().at(token), "Galaxy S24");
    EXPECT_EQ(link->burnedCodes(), 0);
    EXPECT_NE(link->code(), code);
    EXPECT_EQ(preferences.value("phoneDevices"),
              json({{kToken, "Pixel 8"}, {token, "Galaxy S24"}}));
    // The old code is spent, the new one works.
    EXPECT_EQ(statusLineOf(pair(*link, code)), "HTTP/1.1 403 Forbidden");

    queue.advance(2.1);
    EXPECT_TRUE(link->justPaired());
    EXPECT_EQ(closed, 0);
    queue.advance(0.15);
    EXPECT_FALSE(link->justPaired());
    EXPECT_EQ(closed, 1);
}

TEST_F(PhoneLinkTest, ForgettingPhonesKeepsTheCodeValid) {
    auto link = makeListening();
    const auto code = link->code();
    link->forgetDevices();
    EXPECT_TRUE(link->devices().empty());
    EXPECT_EQ(writesOf("phoneDevices").back(), "{}");
    EXPECT_EQ(link->code(), code);
    EXPECT_EQ(statusLineOf(send(*link, httpRequest("GET", "/status", {}, kToken))),
              "HTTP/1.1 401 Unauthorized");
    EXPECT_EQ(statusLineOf(pair(*link, code)), "HTTP/1.1 200 OK");

    const auto writes = writesOf("phoneDevices").size();
    ASSERT_TRUE(queue.runUntil([&] { return !link->devices().empty(); }));
    link->forgetDevices();
    link->forgetDevices();  // nothing left to forget: no second write
    EXPECT_EQ(writesOf("phoneDevices").size(), writes + 2);
}

TEST_F(PhoneLinkTest, NoCodeIsIssuedWhileTheLinkIsOff) {
    auto link = make();
    link->newCode();
    EXPECT_EQ(link->code(), "");
    EXPECT_EQ(link->pairingURL(), std::nullopt);
}

TEST_F(PhoneLinkTest, ANewCodeReReadsTheAddress) {
    address.reset();
    auto link = makeListening();
    EXPECT_EQ(link->pairingURL(), std::nullopt);
    address = "10.0.0.7";
    link->newCode();
    ASSERT_TRUE(link->pairingURL());
    EXPECT_NE(link->pairingURL()->find("host=10.0.0.7&"), std::string::npos);
}

TEST_F(PhoneLinkTest, ThePairingUrlEncodesItsValues) {
    hostName = "Ada's Laptop & Co=1?";
    auto link = makeListening();
    EXPECT_EQ(link->pairingURL(),
              "brimwick://pair?host=192.168.1.20&port=" + std::to_string(link->port()) +
                  "&code=123456&name=Ada%27s%20Laptop%20%26%20Co%3D1%3F");
    EXPECT_EQ(PhoneLink::percentEncoded("Zoë-Mac_1.~"), "Zo%C3%AB-Mac_1.~");
}

TEST_F(PhoneLinkTest, SecureCodesAreSixDigits) {
    for (int i = 0; i < 200; ++i) {
        const auto code = PhoneLink::securePairingCode();
        ASSERT_EQ(code.size(), 6u) << code;
        EXPECT_EQ(code.find_first_not_of("0123456789"), std::string::npos) << code;
    }
}

TEST_F(PhoneLinkTest, StatusLinesForTheHeadlessRunner) {
    auto link = makeListening();
    EXPECT_EQ(phoneStatusLines(*link),
              (std::vector<std::string>{
                  "phone: Listening on port " + std::to_string(link->port()),
                  "Pairing code: 123 456", *link->pairingURL(),
                  "app: http://192.168.1.20:" + std::to_string(link->port()) + "/app"}));
    pair(*link, "123456", "Pixel 9");
    ASSERT_TRUE(queue.runUntil([&] { return link->justPaired().has_value(); }));
    EXPECT_EQ(phoneStatusLines(*link).back(), "paired: Pixel 9");
    queue.advance(3);
    link->setEnabled(false);
    EXPECT_EQ(phoneStatusLines(*link), std::vector<std::string>{"phone: "});
    EXPECT_EQ(groupedCode("012345"), "012 345");
}

// MARK: projects

TEST_F(PhoneLinkTest, ProjectsAreKeptMostRecentFirstAndAtMostEight) {
    auto link = make();
    link->noteProject(std::nullopt);
    link->noteProject("");
    EXPECT_TRUE(preferences.writes().empty());

    for (int i = 1; i <= 9; ++i) link->noteProject("/src/p" + std::to_string(i));
    EXPECT_EQ(link->projects(),
              (std::vector<std::string>{"/src/p9", "/src/p8", "/src/p7", "/src/p6", "/src/p5",
                                        "/src/p4", "/src/p3", "/src/p2"}));
    EXPECT_EQ(writesOf("phoneProjects").size(), 9u);

    link->noteProject("/src/p9");  // already first: no write
    EXPECT_EQ(writesOf("phoneProjects").size(), 9u);

    link->noteProject("/src/p4");  // moves to the front
    EXPECT_EQ(link->projects().front(), "/src/p4");
    EXPECT_EQ(link->projects().size(), 8u);
    EXPECT_EQ(preferences.value("phoneProjects"),
              json({"/src/p4", "/src/p9", "/src/p8", "/src/p7", "/src/p6", "/src/p5", "/src/p3",
                    "/src/p2"}));
}

// MARK: prompts and new sessions

TEST_F(PhoneLinkTest, QueuedPromptsSayWhenTheyLand) {
    auto link = make();
    EXPECT_EQ(link->queuePrompt("hi", std::nullopt),
              (PhoneLink::Outcome{false, "That session has ended. Start a new one instead."}));
    EXPECT_TRUE(link->queued().empty());

    for (BotState state : kAllBotStates) {
        const auto session = sessionOf("s1", "weather", state);
        const auto outcome = link->queuePrompt("p", session);
        EXPECT_TRUE(outcome.ok);
        std::string expected;
        switch (state) {
            case BotState::greeting:
            case BotState::idle:
            case BotState::finished:
            case BotState::sleeping:
                expected = "weather is idle, so it gets this after its next turn on the Mac.";
                break;
            case BotState::question:
                expected = "weather gets this once its question is answered.";
                break;
            default:
                expected = "weather gets this when its current turn ends.";
        }
        EXPECT_EQ(outcome.message, expected) << rawValue(state);
    }
    EXPECT_EQ(link->queued().at("s1").size(), kAllBotStates.size());
}

TEST_F(PhoneLinkTest, HandOverJoinsThePromptsInOrderAndEmptiesTheQueue) {
    auto link = make();
    const auto busy = sessionOf("s1", "weather", BotState::working);
    const auto other = sessionOf("s2", "notes", BotState::idle);
    link->queuePrompt("first", busy);
    link->queuePrompt("second\nline", busy);
    link->queuePrompt("elsewhere", other);

    EXPECT_EQ(link->handOver("s1"), "first\n\nsecond\nline");
    EXPECT_EQ(link->handOver("s1"), std::nullopt);
    EXPECT_EQ(link->handOver("unknown"), std::nullopt);

    link->dropQueue("s2");
    EXPECT_EQ(link->handOver("s2"), std::nullopt);
    EXPECT_TRUE(link->queued().empty());
}

TEST_F(PhoneLinkTest, PromptsPutBackGoBeforeTheOnesQueuedSince) {
    auto link = make();
    const auto busy = sessionOf("s1", "weather", BotState::working);
    link->queuePrompt("first", busy);
    link->queuePrompt("second", busy);
    const auto handed = link->handOver("s1");
    ASSERT_TRUE(handed);
    link->queuePrompt("third", busy);  // while the answer was on its way
    link->putBack("s1", *handed);
    EXPECT_EQ(link->handOver("s1"), "first\n\nsecond\n\nthird");

    link->putBack("s2", "alone");  // a queue that had emptied meanwhile
    EXPECT_EQ(link->handOver("s2"), "alone");
}

TEST_F(PhoneLinkTest, NewSessionsOnlyStartInKnownFoldersThatStillExist) {
    auto link = make();
    link->noteProject("/src/weather");
    link->noteProject("/src/gone");
    link->noteProject("/src/file.txt");
    directories = {"/src/weather", "/src/elsewhere"};

    EXPECT_EQ(link->startSession("/src/elsewhere", "go"),
              (PhoneLink::Outcome{false, "Brimwick doesn't know that folder any more."}));
    EXPECT_EQ(link->startSession("/src/gone", "go"),
              (PhoneLink::Outcome{false, "Brimwick doesn't know that folder any more."}));
    EXPECT_EQ(link->startSession("/src/weather/", "go"),
              (PhoneLink::Outcome{false, "Brimwick doesn't know that folder any more."}));
    EXPECT_TRUE(launches.empty());

    EXPECT_EQ(link->startSession("/src/weather", "Add a test"),
              (PhoneLink::Outcome{true, "Starting a new session in weather in Terminal."}));
    EXPECT_EQ(launches, (decltype(launches){{"/src/weather", "Add a test"}}));

    launchResult = Error{"noTerminal", "No terminal emulator found"};
    EXPECT_EQ(link->startSession("/src/weather", "again"),
              (PhoneLink::Outcome{false, "Couldn't open Terminal: No terminal emulator found"}));
}

TEST_F(PhoneLinkTest, ThePhonesPromptReachesTheApplicationThroughOnPrompt) {
    auto link = makeListening();
    const auto promptBody = json({{"session", "s1"}, {"text", "  hello  "}}).dump();
    // Before the application has set its entry, the phone is told so.
    RawClient client(link->port());
    client.send(httpRequest("POST", "/prompt", promptBody, kToken));
    ASSERT_TRUE(queue.waitAndRun());
    auto response = client.readAll();
    EXPECT_EQ(statusLineOf(response), "HTTP/1.1 409 Conflict");
    EXPECT_EQ(json::parse(bodyOf(response)), json({{"message", "Brimwick isn't ready"}}));

    std::vector<std::pair<std::string, std::string>> asked;
    link->onPrompt = [&](const std::string& session, const std::string& text) {
        asked.emplace_back(session, text);
        return PhoneLink::Outcome{true, "weather gets this when its current turn ends."};
    };
    RawClient second(link->port());
    second.send(httpRequest("POST", "/prompt", promptBody, kToken));
    ASSERT_TRUE(queue.runUntil([&] { return !asked.empty(); }));
    response = second.readAll();
    EXPECT_EQ(statusLineOf(response), "HTTP/1.1 202 Accepted");
    EXPECT_EQ(asked, (decltype(asked){{"s1", "hello"}}));
}

TEST_F(PhoneLinkTest, TheServersNewSessionRequestStartsASession) {
    auto link = makeListening();
    link->noteProject("/src/weather");
    directories = {"/src/weather"};
    RawClient client(link->port());
    client.send(httpRequest("POST", "/new", R"({"path":"/src/weather","text":"Go"})", kToken));
    ASSERT_TRUE(queue.runUntil([&] { return !launches.empty(); }));
    const auto response = client.readAll();
    EXPECT_EQ(statusLineOf(response), "HTTP/1.1 202 Accepted");
    EXPECT_EQ(json::parse(bodyOf(response)),
              json({{"message", "Starting a new session in weather in Terminal."}}));
}

// MARK: lifetime

TEST_F(PhoneLinkTest, ALinkThatIsGoneLeavesNoWorkBehind) {
    auto link = makeListening();
    watch(*link);
    link->request(permission(), replies.make("held"));
    pair(*link, "123456");
    link.reset();
    // Its held request was released when it went; timers and server posts find nothing.
    EXPECT_EQ(replies.got, (decltype(replies.got){{"held", std::nullopt}}));
    queue.advance(200);
    queue.runPending();
    EXPECT_EQ(replies.got.size(), 1u);
}

}  // namespace
}  // namespace brimwick
