// The usage client: the login record, decoding of answers and errors, the request it makes, and
// the real curl client against a loopback listener.
#include "usage/usage_api.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <unistd.h>

#include <cstring>
#include <future>

#include "platform/curl_http_client.h"
#include "support/eventually.h"

namespace brimwick {
namespace {

using nlohmann::json;
constexpr Instant kNow = 1'750'000'000.0, kNoon = 1'748'779'200.0;  // noon: 2025-06-01T12:00:00Z
const UsageOutcome kNetwork = UsageError::of(UsageError::Kind::network);

// The error's text, which is what the displays show, or "figures".
std::string textOf(const UsageOutcome& outcome) {
    const auto* error = std::get_if<UsageError>(&outcome);
    return error ? error->text() : "figures";
}

TEST(Credentials, TokenAndMillisecondExpiryOrNothing) {
    EXPECT_EQ(Credentials::parse(R"({"claudeAiOauth":{"accessToken":"abc","expiresAt":)"
                                 R"(1750000000123,"scopes":[]},"x":1})"
                                 "\n\n"),
              (Credentials{"abc", 1'750'000'000.123}));
    for (const char* expiry : {R"("1750000000000")", "null", "true", "{}"}) {
        EXPECT_EQ(
            Credentials::parse(std::string(R"({"claudeAiOauth":{"accessToken":"a","expiresAt":)") +
                               expiry + "}}"),
            (Credentials{"a", std::nullopt}))
            << expiry;
    }
    for (const char* bytes :
         {"", "not json", "[]", "{}", R"({"claudeAiOauth":"abc"})", R"({"claudeAiOauth":{}})",
          R"({"claudeAiOauth":{"accessToken":""}})", R"({"claudeAiOauth":{"accessToken":42}})",
          R"({"accessToken":"abc"})", R"({"claudeAiOauth":{"accessToken":"abc"}} trailing)",
          R"({"claudeAiOauth":{"accessToken":"abc\r\nX-Evil: 1"}})"}) {  // a forged header line
        EXPECT_EQ(Credentials::parse(bytes), std::nullopt) << bytes;
    }
}

TEST(UsageResetTime, ZuluAndColonOffsetsWithFractionsDroppedAndNothingElse) {
    for (const char* noon : {"2025-06-01T12:00:00Z", "2025-06-01T12:00:00.123456+00:00",
                             "2025-06-01T14:30:00+02:30", "2025-06-01T07:00:00.5-05:00"}) {
        EXPECT_EQ(usage_api::parseResetTime(noon), kNoon) << noon;
    }
    EXPECT_EQ(usage_api::parseResetTime("2024-02-29T00:00:00Z"), 1'709'164'800.0);
    EXPECT_EQ(usage_api::parseResetTime("1969-12-31T23:59:59Z"), -1.0);
    for (const char* bad :
         {"", "tomorrow", "2025-06-01", "2025-06-01T12:00:00", "2025-06-01T12:00:00+0000",
          "2025-06-01 12:00:00Z", "2025-06-01T12:00Z", "2025-13-01T12:00:00Z",
          "2025-02-29T12:00:00Z", "2025-06-01T24:00:00Z", "2025-06-01T12:60:00Z",
          "2025-06-01T12:00:00z", "2025-06-01T12:00:00+24:00", "+2025-06-01T12:00:00Z",
          "2025-06-01T12:00:00Z ", "2025-06-01T12:00:00.Z", "2025-06-01T12:00:00,5Z"}) {
        EXPECT_EQ(usage_api::parseResetTime(bad), std::nullopt) << bad;
    }
}

TEST(UsageDecoding, LimitsAreClampedFractionsAndABadResetTimeKeepsTheFigure) {
    const std::pair<json, std::optional<UsageLimit>> rows[] = {
        {{{"utilization", 37.5}, {"resets_at", "2025-06-01T12:00:00Z"}}, UsageLimit{0.375, kNoon}},
        {{{"utilization", 120}}, UsageLimit{1.0, {}}},
        {{{"utilization", -5}}, UsageLimit{0.0, {}}},
        {{{"utilization", 100u}}, UsageLimit{1.0, {}}},
        {{{"utilization", 10}, {"resets_at", "not a date"}}, UsageLimit{0.1, {}}},
        {{{"utilization", 10}, {"resets_at", 1748779200}}, UsageLimit{0.1, {}}},
        {{{"utilization", "42"}}, std::nullopt},
        {{{"utilization", true}}, std::nullopt},
        {json::object(), std::nullopt},
        {json::array({42}), std::nullopt}};
    for (const auto& [value, limit] : rows) EXPECT_EQ(usage_api::limit(value), limit) << value;
}

TEST(UsageDecoding, StatusesAndBodiesAndTheirTexts) {
    EXPECT_EQ(usage_api::decode(std::nullopt, kNow), kNetwork);
    const std::pair<long, const char*> statuses[] = {
        {401, "Claude Code login was rejected, run claude to sign in again"},
        {403, "Claude Code login was rejected, run claude to sign in again"},
        {429, "Usage is rate limited, retrying soon"},
        {20401, "Usage unavailable (HTTP 20401)"},
        {302, "Usage unavailable (HTTP 302)"},
        {201, "Usage unavailable (HTTP 201)"}};  // a valid body does not rescue another success
    for (const auto& [status, text] : statuses) {
        EXPECT_EQ(textOf(usage_api::decode(
                      HttpClient::Response{status, R"({"five_hour":{"utilization":1}})"}, kNow)),
                  text);
    }
    for (const char* body :
         {"", "not json", "[]", "42", "{}", R"({"five_hour":null,"seven_day":null})",
          R"({"five_hour":{"utilization":"12"},"seven_day":{}})", R"({"other":{"utilization":1}})",
          R"({"five_hour":{"utilization":1})"}) {
        EXPECT_EQ(textOf(usage_api::decode(HttpClient::Response{200, body}, kNow)),
                  "Usage unavailable (unexpected response)")
            << body;
    }
    // One window is enough and extra members are ignored.
    EXPECT_EQ(usage_api::decode(
                  HttpClient::Response{200, R"({"seven_day":{"utilization":88},"x":1})"}, kNow),
              UsageOutcome(PlanUsage{std::nullopt, UsageLimit{0.88, {}}, kNow}));
    EXPECT_EQ(usage_api::decode(HttpClient::Response{200, R"({"five_hour":{"utilization":42.4},)"
                                                          R"("seven_day":{"utilization":"x"}})"},
                                kNow),
              UsageOutcome(PlanUsage{UsageLimit{0.424, {}}, std::nullopt, kNow}));
}

TEST(UsageEndpoint, EnvironmentReplacesTheWholeUrlOnlyWithHttpUrls) {
    const std::pair<const char*, const char*> rows[] = {
        {nullptr, "https://api.anthropic.com/api/oauth/usage"},
        {"http://127.0.0.1:9/x", "http://127.0.0.1:9/x"},
        {"file:///etc/passwd", "https://api.anthropic.com/api/oauth/usage"}};
    for (const auto& [value, url] : rows) {
        value ? ::setenv("BRIMWICK_USAGE_URL", value, 1) : ::unsetenv("BRIMWICK_USAGE_URL");
        EXPECT_EQ(usage_api::endpoint(), url);
    }
    ::unsetenv("BRIMWICK_USAGE_URL");
}

struct FixedClock final : Clock {
    Instant now() const override { return kNow; }
};

TEST(CurlUsageFetch, OverLoopbackWithoutRedirectsAndCancelledAtOnce) {
    ::setenv("no_proxy", "*", 1);  // loopback traffic must never go to a proxy
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), length), 0);
    ::listen(listener, 4);
    const timeval patience{20, 0};  // a fetch that never connects fails the test, not hangs it
    ::setsockopt(listener, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    const std::string host = "127.0.0.1:" + std::to_string(ntohs(address.sin_port));
    ::setenv("BRIMWICK_USAGE_URL", ("http://" + host + "/api/oauth/usage").c_str(), 1);
    std::optional<Credentials> credentials;
    const usage_api::Options login{"", std::make_shared<CurlHttpClient>(),
                                   [&](std::stop_token) { return credentials; },
                                   std::make_shared<FixedClock>()};
    // No login, or one expired, asks nothing; expiring exactly now is still good.
    EXPECT_EQ(textOf(usage_api::fetch(login)), "Sign in to Claude Code to see usage");
    credentials = Credentials{"tok", kNow - 0.001};
    EXPECT_EQ(textOf(usage_api::fetch(login)),
              "Claude Code login expired, run claude to refresh it");
    credentials = Credentials{"tok-123", kNow};

    const std::pair<const char*, UsageOutcome> rows[] = {
        {"HTTP/1.1 200 OK\r\nContent-Length: 32\r\n\r\n{\"five_hour\":{\"utilization\":50}}",
         PlanUsage{UsageLimit{0.5, {}}, std::nullopt, kNow}},
        // The token must not travel to wherever a redirect points.
        {"HTTP/1.1 302 Found\r\nLocation: /elsewhere\r\nContent-Length: 0\r\n\r\n",
         UsageError::http(302)},
        {"", kNetwork},
        {"this is not HTTP at all\r\n\r\n", kNetwork},
        {"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n{\"five", kNetwork}};
    for (const auto& [reply, outcome] : rows) {
        auto fetched = std::async(std::launch::async, [&] { return usage_api::fetch(login); });
        const int connection = ::accept(listener, nullptr, nullptr);
        std::string head(4096, '\0');
        head.resize(std::max<ssize_t>(0, ::recv(connection, head.data(), head.size(), 0)));
        ::send(connection, reply, std::strlen(reply), MSG_NOSIGNAL);
        ::close(connection);
        EXPECT_EQ(fetched.get(), outcome) << reply;
        EXPECT_EQ(head, "GET /api/oauth/usage HTTP/1.1\r\nHost: " + host +
                            "\r\nAuthorization: Bearer tok-123\r\nanthropic-beta: "
                            "oauth-2025-04-20\r\nAccept: application/json\r\n\r\n");
    }

    // Cancelling the worker ends a fetch in flight at once (not after the 15 s time-out) and
    // answers on the worker's thread.
    std::promise<std::pair<UsageOutcome, std::thread::id>> answer;
    BackgroundTask worker;
    usage_api::fetchInBackground(worker, login, [&](UsageOutcome outcome) {
        answer.set_value({outcome, std::this_thread::get_id()});
    });
    const int connection = ::accept(listener, nullptr, nullptr);
    auto cancelled = std::async(std::launch::async, [&] { worker.cancel(); });
    EXPECT_TRUE(testing::eventually(
        [&] { return cancelled.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
        usage_api::requestTimeout / 2));
    ::close(connection);
    ::close(listener);
    ::unsetenv("BRIMWICK_USAGE_URL");
    const auto [outcome, thread] = answer.get_future().get();
    EXPECT_EQ(outcome, kNetwork);
    EXPECT_NE(thread, std::this_thread::get_id());
}

}  // namespace
}  // namespace brimwick
