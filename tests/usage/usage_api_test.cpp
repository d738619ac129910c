// The usage client: decoding of answers and errors, and real requests against a loopback server.
#include "usage/usage_api.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <future>
#include <map>
#include <thread>

#include "core/percent.h"
#include "platform/curl_http_client.h"
#include "support/canned_http_server.h"
#include "support/eventually.h"

namespace brimwick {
namespace {

using testing::CannedHttpServer;
using Kind = UsageError::Kind;

class FixedClock final : public Clock {
  public:
    explicit FixedClock(Instant at) : at_(at) {}
    Instant now() const override { return at_; }

  private:
    Instant at_;
};

constexpr Instant kNow = 1'750'000'000.0;

UsageError errorOf(const UsageOutcome& outcome) {
    EXPECT_TRUE(std::holds_alternative<UsageError>(outcome));
    return std::holds_alternative<UsageError>(outcome) ? std::get<UsageError>(outcome)
                                                       : UsageError::http(-1);
}

PlanUsage usageOf(const UsageOutcome& outcome) {
    EXPECT_TRUE(std::holds_alternative<PlanUsage>(outcome))
        << (std::holds_alternative<UsageError>(outcome) ? std::get<UsageError>(outcome).text()
                                                        : "");
    return std::holds_alternative<PlanUsage>(outcome) ? std::get<PlanUsage>(outcome) : PlanUsage{};
}

UsageOutcome decode200(const std::string& body) {
    return usage_api::decode(HttpClient::Response{200, body}, kNow);
}

TEST(UsageErrorText, EachCaseHasItsExactText) {
    EXPECT_EQ(UsageError::http(500).text(), "Usage unavailable (HTTP 500)");
    EXPECT_EQ(UsageError::http(20401).text(), "Usage unavailable (HTTP 20401)");
    EXPECT_EQ(UsageError::of(Kind::signedOut).text(), "Sign in to Claude Code to see usage");
    EXPECT_EQ(UsageError::of(Kind::expired).text(),
              "Claude Code login expired, run claude to refresh it");
    EXPECT_EQ(UsageError::of(Kind::unauthorized).text(),
              "Claude Code login was rejected, run claude to sign in again");
    EXPECT_EQ(UsageError::of(Kind::rateLimited).text(), "Usage is rate limited, retrying soon");
    EXPECT_EQ(UsageError::of(Kind::network).text(), "Usage unavailable (offline?)");
    EXPECT_EQ(UsageError::of(Kind::badResponse).text(), "Usage unavailable (unexpected response)");
}

TEST(UsageResetTime, AcceptsZuluAndColonOffsetsAndDropsFractions) {
    const Instant noon = 1'748'779'200.0;  // 2025-06-01T12:00:00Z
    EXPECT_EQ(usage_api::parseResetTime("2025-06-01T12:00:00Z"), noon);
    EXPECT_EQ(usage_api::parseResetTime("2025-06-01T12:00:00.123456+00:00"), noon);
    EXPECT_EQ(usage_api::parseResetTime("2025-06-01T14:30:00+02:30"), noon);
    EXPECT_EQ(usage_api::parseResetTime("2025-06-01T07:00:00.5-05:00"), noon);
    EXPECT_EQ(usage_api::parseResetTime("2024-02-29T00:00:00Z"), 1'709'164'800.0);
    EXPECT_EQ(usage_api::parseResetTime("1969-12-31T23:59:59Z"), -1.0);
}

TEST(UsageResetTime, RejectsAnythingElse) {
    for (const char* bad :
         {"", "tomorrow", "2025-06-01", "2025-06-01T12:00:00", "2025-06-01T12:00:00+0000",
          "2025-06-01 12:00:00Z", "2025-06-01T12:00Z", "2025-13-01T12:00:00Z",
          "2025-02-29T12:00:00Z", "2025-06-01T24:00:00Z", "2025-06-01T12:60:00Z",
          "2025-06-01T12:00:00z", "2025-06-01T12:00:00+24:00", "+2025-06-01T12:00:00Z",
          "2025-06-01T12:00:00Z ", "2025-06-01T12:00:00.Z", "2025-06-01T12:00:00,5Z"}) {
        EXPECT_EQ(usage_api::parseResetTime(bad), std::nullopt) << bad;
    }
}

TEST(UsageLimitDecoding, UtilizationIsAPercentClampedToAFraction) {
    using nlohmann::json;
    EXPECT_EQ(usage_api::limit(json{{"utilization", 37.5}})->used, 0.375);
    EXPECT_EQ(percentLeft(usage_api::limit(json{{"utilization", 37.5}})->used), 63);
    EXPECT_EQ(usage_api::limit(json{{"utilization", 120}})->used, 1.0);
    EXPECT_EQ(usage_api::limit(json{{"utilization", -5}})->used, 0.0);
    EXPECT_EQ(usage_api::limit(json{{"utilization", 0}})->used, 0.0);
    EXPECT_EQ(usage_api::limit(json{{"utilization", 100u}})->used, 1.0);

    EXPECT_EQ(usage_api::limit(json{{"utilization", "42"}}), std::nullopt);
    EXPECT_EQ(usage_api::limit(json{{"utilization", nullptr}}), std::nullopt);
    EXPECT_EQ(usage_api::limit(json{{"utilization", true}}), std::nullopt);
    EXPECT_EQ(usage_api::limit(json::object()), std::nullopt);
    EXPECT_EQ(usage_api::limit(json(42)), std::nullopt);
    EXPECT_EQ(usage_api::limit(json::array({42})), std::nullopt);
}

TEST(UsageLimitDecoding, ABadResetTimeKeepsTheFigure) {
    using nlohmann::json;
    const auto good =
        usage_api::limit(json{{"utilization", 10}, {"resets_at", "2025-06-01T12:00:00Z"}});
    EXPECT_EQ(good->resetsAt, 1'748'779'200.0);
    for (const json& resets : {json("not a date"), json(1748779200), json(nullptr)}) {
        const auto limit = usage_api::limit(json{{"utilization", 10}, {"resets_at", resets}});
        ASSERT_TRUE(limit);
        EXPECT_EQ(limit->used, 0.1);
        EXPECT_EQ(limit->resetsAt, std::nullopt);
    }
}

TEST(UsageDecoding, OnlyStatus200IsDecoded) {
    EXPECT_EQ(errorOf(usage_api::decode(std::nullopt, kNow)), UsageError::of(Kind::network));
    // A valid body does not rescue another success status.
    EXPECT_EQ(errorOf(usage_api::decode(
                  HttpClient::Response{201, R"({"five_hour":{"utilization":1}})"}, kNow)),
              UsageError::http(201));
}

TEST(UsageDecoding, BodiesWithoutAnyUsableWindowAreBadResponses) {
    for (const char* body :
         {"", "not json", "[]", "\"text\"", "42", "{}", R"({"five_hour":null,"seven_day":null})",
          R"({"five_hour":{"utilization":"12"},"seven_day":{}})", R"({"other":{"utilization":1}})",
          R"({"five_hour":{"utilization":1})"}) {
        EXPECT_EQ(errorOf(decode200(body)), UsageError::of(Kind::badResponse)) << body;
    }
}

TEST(UsageDecoding, OneWindowIsEnoughAndExtraMembersAreIgnored) {
    const auto week = usageOf(decode200(
        R"({"seven_day":{"utilization":88,"resets_at":"2025-06-01T12:00:00.000001Z"},"x":1})"));
    EXPECT_EQ(week.session, std::nullopt);
    EXPECT_EQ(week.week, (UsageLimit{0.88, 1'748'779'200.0}));
    EXPECT_EQ(week.fetchedAt, kNow);

    const auto both = usageOf(
        decode200(R"({"five_hour":{"utilization":42.4},"seven_day":{"utilization":"bad"}})"));
    EXPECT_EQ(both.session, (UsageLimit{0.424, std::nullopt}));
    EXPECT_EQ(both.week, std::nullopt);
}

// Real requests through curl to a loopback server named by BRIMWICK_USAGE_URL.
class UsageFetchTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // Loopback traffic must never be handed to a proxy from the environment.
        ::setenv("no_proxy", "*", 1);
        ::setenv("NO_PROXY", "*", 1);
        ::setenv("BRIMWICK_USAGE_URL", server.url("/api/oauth/usage").c_str(), 1);
    }
    void TearDown() override { ::unsetenv("BRIMWICK_USAGE_URL"); }

    UsageOutcome fetch(std::optional<Credentials> credentials = Credentials{"tok-123", {}}) {
        usage_api::Options options;
        options.http = std::make_shared<CurlHttpClient>();
        options.loadCredentials = [credentials](std::stop_token) { return credentials; };
        options.clock = std::make_shared<FixedClock>(kNow);
        return usage_api::fetch(options);
    }

    CannedHttpServer server;
};

TEST_F(UsageFetchTest, SendsAGetWithExactlyTheThreeHeaderFields) {
    server.respondWith(CannedHttpServer::response(
        200, R"({"five_hour":{"utilization":42.4,"resets_at":"2025-06-01T12:00:00Z"},)"
             R"("seven_day":{"utilization":12}})"));
    const auto usage = usageOf(fetch());
    EXPECT_EQ(usage.session, (UsageLimit{0.424, 1'748'779'200.0}));
    EXPECT_EQ(usage.week, (UsageLimit{0.12, std::nullopt}));
    EXPECT_EQ(usage.fetchedAt, kNow);

    const auto received = server.received();
    ASSERT_EQ(received.size(), 1u);
    const auto& request = received[0].request;
    EXPECT_EQ(request.method, "GET");
    EXPECT_EQ(request.path, "/api/oauth/usage");
    EXPECT_EQ(request.body, "");
    const std::map<std::string, std::string> expected = {
        {"host", "127.0.0.1:" + std::to_string(server.port())},
        {"authorization", "Bearer tok-123"},
        {"anthropic-beta", "oauth-2025-04-20"},
        {"accept", "application/json"}};
    EXPECT_EQ(request.headers, expected) << received[0].headerText;
}

TEST_F(UsageFetchTest, MapsEachStatus) {
    const std::pair<int, UsageError> table[] = {{401, UsageError::of(Kind::unauthorized)},
                                                {403, UsageError::of(Kind::unauthorized)},
                                                {429, UsageError::of(Kind::rateLimited)},
                                                {204, UsageError::http(204)},
                                                {500, UsageError::http(500)},
                                                {404, UsageError::http(404)},
                                                {301, UsageError::http(301)}};
    for (const auto& [status, error] : table) {
        server.respondWith(CannedHttpServer::response(status, status == 204 ? "" : "{}"));
        EXPECT_EQ(errorOf(fetch()), error) << status;
    }
}

TEST_F(UsageFetchTest, DoesNotFollowRedirectsWithTheToken) {
    server.respondWith("HTTP/1.1 302 Found\r\nLocation: /elsewhere\r\nContent-Length: 0\r\n\r\n");
    EXPECT_EQ(errorOf(fetch()), UsageError::http(302));
    EXPECT_EQ(server.received().size(), 1u);
}

TEST_F(UsageFetchTest, BadBodiesAreBadResponses) {
    for (const char* body : {"<html>oops</html>", R"({"five_hour":null,"seven_day":null})"}) {
        server.respondWith(CannedHttpServer::response(200, body));
        EXPECT_EQ(errorOf(fetch()), UsageError::of(Kind::badResponse)) << body;
    }
    server.respondWith(CannedHttpServer::response(200, R"({"seven_day":{"utilization":50}})"));
    const auto usage = usageOf(fetch());
    EXPECT_EQ(usage.session, std::nullopt);
    EXPECT_EQ(usage.week, (UsageLimit{0.5, std::nullopt}));
}

TEST_F(UsageFetchTest, ConnectionTroubleIsNetwork) {
    server.closeWithoutAnswer();
    EXPECT_EQ(errorOf(fetch()), UsageError::of(Kind::network));
    EXPECT_EQ(server.received().size(), 1u);

    server.respondWith("this is not HTTP at all\r\n\r\n");
    EXPECT_EQ(errorOf(fetch()), UsageError::of(Kind::network));

    // Content-Length promises more than arrives before the close.
    server.respondWith("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n{\"five");
    EXPECT_EQ(errorOf(fetch()), UsageError::of(Kind::network));
}

TEST_F(UsageFetchTest, NobodyListeningIsNetwork) {
    std::string url;
    {
        CannedHttpServer gone;
        url = gone.url("/api/oauth/usage");
    }
    ::setenv("BRIMWICK_USAGE_URL", url.c_str(), 1);
    EXPECT_EQ(errorOf(fetch()), UsageError::of(Kind::network));
}

TEST_F(UsageFetchTest, SignedOutOrExpiredMakesNoRequest) {
    EXPECT_EQ(errorOf(fetch(std::nullopt)), UsageError::of(Kind::signedOut));
    EXPECT_EQ(errorOf(fetch(Credentials{"tok", kNow - 0.001})), UsageError::of(Kind::expired));
    EXPECT_TRUE(server.received().empty());

    // Expiring exactly now, or later, is still good.
    server.respondWith(CannedHttpServer::response(200, R"({"five_hour":{"utilization":1}})"));
    usageOf(fetch(Credentials{"tok", kNow}));
    usageOf(fetch(Credentials{"tok", kNow + 60}));
    EXPECT_EQ(server.received().size(), 2u);
}

TEST(UsageEndpoint, EnvironmentReplacesTheWholeUrlOnlyWithHttpUrls) {
    ::unsetenv("BRIMWICK_USAGE_URL");
    EXPECT_EQ(usage_api::endpoint(), "https://api.anthropic.com/api/oauth/usage");
    ::setenv("BRIMWICK_USAGE_URL", "http://127.0.0.1:9/x", 1);
    EXPECT_EQ(usage_api::endpoint(), "http://127.0.0.1:9/x");
    ::setenv("BRIMWICK_USAGE_URL", "file:///etc/passwd", 1);
    EXPECT_EQ(usage_api::endpoint(), "https://api.anthropic.com/api/oauth/usage");
    ::unsetenv("BRIMWICK_USAGE_URL");
}

// A server that takes the connection and never answers: the fetch stays in flight.
class SilentServer {
  public:
    SilentServer() {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        EXPECT_EQ(::bind(fd_, reinterpret_cast<sockaddr*>(&address), length), 0);
        EXPECT_EQ(::listen(fd_, 4), 0);
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    ~SilentServer() {
        if (connection_ >= 0) ::close(connection_);
        ::close(fd_);
    }
    std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/usage"; }
    // Waits for the client to connect; true once it has.
    bool accept() { return (connection_ = ::accept(fd_, nullptr, nullptr)) >= 0; }

  private:
    int fd_ = -1;
    int connection_ = -1;
    std::uint16_t port_ = 0;
};

TEST(UsageBackgroundFetch, CancellingEndsAFetchInFlightAndAnswersOnTheWorker) {
    SilentServer server;
    usage_api::Options options;
    options.url = server.url();
    options.http = std::make_shared<CurlHttpClient>();
    options.loadCredentials = [](std::stop_token) {
        return std::optional<Credentials>{{"tok", {}}};
    };
    options.clock = std::make_shared<SystemClock>();
    std::promise<std::pair<UsageOutcome, std::thread::id>> answer;
    BackgroundTask worker;
    usage_api::fetchInBackground(worker, options, [&](UsageOutcome outcome) {
        answer.set_value({outcome, std::this_thread::get_id()});
    });
    ASSERT_TRUE(server.accept());
    // Without the stop reaching curl, this would wait out the 15 s request time-out.
    auto cancelled = std::async(std::launch::async, [&] { worker.cancel(); });
    ASSERT_TRUE(testing::eventually(
        [&] { return cancelled.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
        usage_api::requestTimeout / 2));
    auto future = answer.get_future();
    ASSERT_EQ(future.wait_for(std::chrono::seconds(0)), std::future_status::ready);
    const auto [outcome, thread] = future.get();
    EXPECT_EQ(errorOf(outcome), UsageError::of(Kind::network));
    EXPECT_NE(thread, std::this_thread::get_id());
}

}  // namespace
}  // namespace brimwick
