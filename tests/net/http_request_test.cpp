#include "net/http_request.h"

#include <gtest/gtest.h>

namespace brimwick {
namespace {

const std::string kRequest =
    "POST /hook HTTP/1.1\r\nHost: 127.0.0.1:47821\r\nContent-Type: application/json\r\n"
    "X-Claude-PID: 4242\r\nContent-Length: 18\r\n\r\n{\"session_id\":\"a\"}";

TEST(HttpRequestParse, EveryPrefixIsIncompleteAndWhatFollowsTheBodyIsIgnored) {
    for (std::size_t cut = 0; cut < kRequest.size(); ++cut) {
        EXPECT_EQ(parseRequest(kRequest.substr(0, cut)).status, ParseStatus::incomplete) << cut;
    }
    const auto result = parseRequest(kRequest + "GET / HTTP/1.1\r\n\r\n");
    ASSERT_EQ(result.status, ParseStatus::request);
    EXPECT_EQ(result.request.method, "POST");
    EXPECT_EQ(result.request.path, "/hook");
    EXPECT_EQ(*result.request.header("x-claude-pid"), "4242");
    EXPECT_EQ(*result.request.header("content-type"), "application/json");
    EXPECT_EQ(result.request.body, "{\"session_id\":\"a\"}");
}

TEST(HttpRequestParse, Bounds) {
    const auto status = [](const std::string& text) { return parseRequest(text).status; };
    const auto withLength = [&](const std::string& value) {
        return status("POST / HTTP/1.1\r\nContent-Length: " + value + "\r\n\r\n");
    };
    using enum ParseStatus;
    const std::pair<ParseStatus, ParseStatus> rows[] = {
        // The header section is bounded at 65536 bytes; a complete one of any size within is fine.
        {status(std::string(65'536, 'a')), incomplete},
        {status(std::string(65'537, 'a')), malformed},
        {status("GET / HTTP/1.1\r\nX: " + std::string(60'000, 'b') + "\r\n\r\n"), request},
        // Bare line feeds never end it.
        {status("POST /hook HTTP/1.1\nContent-Length: 0\n\n"), incomplete},
        {status("POST /hook HTTP/1.1\nContent-Length: 0\n\n" + std::string(65'536, '\n')),
         malformed},
        {withLength("33554432"), incomplete},
        {withLength("+33554432"), incomplete},
        {withLength("33554433"), malformed},
        {withLength("-1"), malformed},
        // Lengths that do not parse count as none.
        {withLength("99999999999999999999999"), request},
        {withLength("abc"), request},
        {withLength("12abc"), request},
        {withLength("-0"), request},
        {withLength("+"), request},
        {parseRequest("POST / HTTP/1.1\r\nContent-Length: 11\r\n\r\n",
                      HttpLimits{.maxContentLength = 10})
             .status,
         malformed},
        // The header section must be UTF-8; the body is its own business.
        {status("GET / HTTP/1.1\r\nX: \xff\xfe\r\n\r\n"), malformed},
        {status("GET / HTTP/1.1\r\nX: caf\xc3\xa9\r\n\r\n"), request},
        {status("POST / HTTP/1.1\r\nContent-Length: 1\r\n\r\n\xff"), request}};
    for (std::size_t i = 0; i < std::size(rows); ++i)
        EXPECT_EQ(rows[i].first, rows[i].second) << "row " << i;
}

TEST(HttpRequestParse, OddLinesAndPieces) {
    auto result = parseRequest(
        "POST /p HTTP/1.1\r\n::Leading: colons\r\nNoColonHere\r\nEmpty:\r\nSpaces:   \t\r\n"
        "  Padded Name \t:  value with: colon \t\r\nX-Claude-PID:\r\nX-Dup: first\r\n"
        "x-dup: second\r\n:\r\nContent-Length:\r\n\r\nxyz");
    ASSERT_EQ(result.status, ParseStatus::request);
    const auto& h = result.request.headers;
    EXPECT_EQ(h.at("leading"), "colons");
    EXPECT_EQ(h.at("padded name"), "value with: colon");
    EXPECT_EQ(h.at("x-dup"), "second");
    EXPECT_EQ(h.at("spaces"), "");  // something after the colon, trimmed to nothing
    EXPECT_EQ(h.count("nocolonhere") + h.count("empty") + h.count("x-claude-pid"), 0u);
    EXPECT_EQ(result.request.body, "") << "a length with nothing after the colon is zero";

    result = parseRequest("\r\n\r\n");
    ASSERT_EQ(result.status, ParseStatus::request);
    EXPECT_EQ(result.request.method, "");
    EXPECT_EQ(result.request.path, "/");
    result = parseRequest("  GET    /x?y=1   HTTP/1.1 extra\r\n\r\n");
    EXPECT_EQ(result.request.method, "GET");
    EXPECT_EQ(result.request.path, "/x?y=1");
}

TEST(HttpRequestParse, DecimalsAreSignedDigitsOnly) {
    long long v = 0;
    EXPECT_TRUE(parseDecimal("+4242", v));
    EXPECT_EQ(v, 4242);
    EXPECT_TRUE(parseDecimal("-9223372036854775808", v));
    EXPECT_EQ(v, std::numeric_limits<long long>::min());
    EXPECT_TRUE(parseDecimal("9223372036854775807", v));
    for (const char* text : {"9223372036854775808", "", "-", " 1", "1 ", "0x10", "+-1"})
        EXPECT_FALSE(parseDecimal(text, v)) << text;
}

}  // namespace
}  // namespace brimwick
