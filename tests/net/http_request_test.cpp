#include "net/http_request.h"

#include <gtest/gtest.h>

namespace brimwick {
namespace {

const std::string kRequest =
    "POST /hook HTTP/1.1\r\nHost: 127.0.0.1:47821\r\nContent-Type: application/json\r\n"
    "X-Claude-PID: 4242\r\nContent-Length: 18\r\n\r\n{\"session_id\":\"a\"}";

TEST(HttpRequestParse, ReadsMethodPathHeadersAndBody) {
    const auto result = parseRequest(kRequest);
    ASSERT_EQ(result.status, ParseStatus::request);
    EXPECT_EQ(result.request.method, "POST");
    EXPECT_EQ(result.request.path, "/hook");
    EXPECT_EQ(*result.request.header("x-claude-pid"), "4242");
    EXPECT_EQ(*result.request.header("content-type"), "application/json");
    EXPECT_EQ(result.request.body, "{\"session_id\":\"a\"}");
}

TEST(HttpRequestParse, EveryPrefixIsIncompleteAndTheWholeIsTheSameRequest) {
    const auto whole = parseRequest(kRequest);
    ASSERT_EQ(whole.status, ParseStatus::request);
    for (std::size_t cut = 0; cut < kRequest.size(); ++cut) {
        EXPECT_EQ(parseRequest(kRequest.substr(0, cut)).status, ParseStatus::incomplete)
            << "cut at " << cut;
    }
    const auto again = parseRequest(kRequest);
    EXPECT_EQ(again.request.body, whole.request.body);
    EXPECT_EQ(again.request.headers, whole.request.headers);
}

TEST(HttpRequestParse, BytesAfterTheBodyAreIgnored) {
    const auto result = parseRequest(kRequest + "GET / HTTP/1.1\r\n\r\n");
    ASSERT_EQ(result.status, ParseStatus::request);
    EXPECT_EQ(result.request.body, "{\"session_id\":\"a\"}");
}

TEST(HttpRequestParse, HeaderSectionBoundAt65536Bytes) {
    const std::string atLimit(65'536, 'a');
    EXPECT_EQ(parseRequest(atLimit).status, ParseStatus::incomplete);
    EXPECT_EQ(parseRequest(atLimit + "a").status, ParseStatus::malformed);
    // A complete header section is accepted whatever its size within the buffer.
    const std::string longHeader = "GET / HTTP/1.1\r\nX: " + std::string(60'000, 'b') + "\r\n\r\n";
    EXPECT_EQ(parseRequest(longHeader).status, ParseStatus::request);
}

TEST(HttpRequestParse, BareLineFeedsNeverEndTheHeaderSection) {
    const std::string request = "POST /hook HTTP/1.1\nContent-Length: 0\n\n";
    EXPECT_EQ(parseRequest(request).status, ParseStatus::incomplete);
    EXPECT_EQ(parseRequest(request + std::string(65'536, '\n')).status, ParseStatus::malformed);
}

TEST(HttpRequestParse, ContentLengthBoundsAndSigns) {
    const auto withLength = [](const std::string& value) {
        return parseRequest("POST / HTTP/1.1\r\nContent-Length: " + value + "\r\n\r\n").status;
    };
    EXPECT_EQ(withLength("33554432"), ParseStatus::incomplete);
    EXPECT_EQ(withLength("+33554432"), ParseStatus::incomplete);
    EXPECT_EQ(withLength("33554433"), ParseStatus::malformed);
    EXPECT_EQ(withLength("-1"), ParseStatus::malformed);
    EXPECT_EQ(withLength("99999999999999999999999"), ParseStatus::request);  // unparsable: 0
    EXPECT_EQ(withLength("abc"), ParseStatus::request);
    EXPECT_EQ(withLength("12abc"), ParseStatus::request);
    EXPECT_EQ(withLength("-0"), ParseStatus::request);
    EXPECT_EQ(withLength("+"), ParseStatus::request);

    HttpLimits small;
    small.maxContentLength = 10;
    EXPECT_EQ(parseRequest("POST / HTTP/1.1\r\nContent-Length: 11\r\n\r\n", small).status,
              ParseStatus::malformed);
}

TEST(HttpRequestParse, ContentLengthWithNothingAfterTheColonCountsAsZero) {
    const auto result = parseRequest("POST / HTTP/1.1\r\nContent-Length:\r\n\r\nxyz");
    ASSERT_EQ(result.status, ParseStatus::request);
    EXPECT_EQ(result.request.body, "");
}

TEST(HttpRequestParse, HeaderLinesOddAndRepeated) {
    const auto result = parseRequest(
        "POST /p HTTP/1.1\r\n"
        "::Leading: colons\r\n"
        "NoColonHere\r\n"
        "Empty:\r\n"
        "Spaces:   \t\r\n"
        "  Padded Name \t:  value with: colon \t\r\n"
        "X-Claude-PID:\r\n"
        "X-Dup: first\r\n"
        "x-dup: second\r\n"
        ":\r\n"
        "\r\n");
    ASSERT_EQ(result.status, ParseStatus::request);
    const auto& h = result.request.headers;
    EXPECT_EQ(h.at("leading"), "colons");
    EXPECT_EQ(h.at("padded name"), "value with: colon");
    EXPECT_EQ(h.at("x-dup"), "second");
    EXPECT_EQ(h.at("spaces"), "");  // something after the colon, trimmed to nothing
    EXPECT_EQ(h.count("nocolonhere"), 0u);
    EXPECT_EQ(h.count("empty"), 0u);
    EXPECT_EQ(h.count("x-claude-pid"), 0u);
}

TEST(HttpRequestParse, RequestLineWithMissingPieces) {
    auto result = parseRequest("\r\n\r\n");
    ASSERT_EQ(result.status, ParseStatus::request);
    EXPECT_EQ(result.request.method, "");
    EXPECT_EQ(result.request.path, "/");

    result = parseRequest("  GET    /x?y=1   HTTP/1.1 extra\r\n\r\n");
    EXPECT_EQ(result.request.method, "GET");
    EXPECT_EQ(result.request.path, "/x?y=1");
}

TEST(HttpRequestParse, HeaderSectionMustBeUtf8) {
    EXPECT_EQ(parseRequest("GET / HTTP/1.1\r\nX: \xff\xfe\r\n\r\n").status, ParseStatus::malformed);
    EXPECT_EQ(parseRequest("GET / HTTP/1.1\r\nX: caf\xc3\xa9\r\n\r\n").status,
              ParseStatus::request);
    // Invalid bytes in the body are the body's business.
    EXPECT_EQ(parseRequest("POST / HTTP/1.1\r\nContent-Length: 1\r\n\r\n\xff").status,
              ParseStatus::request);
}

TEST(ParseDecimal, AcceptsSignedDigitsOnly) {
    long long v = 0;
    EXPECT_TRUE(parseDecimal("+4242", v));
    EXPECT_EQ(v, 4242);
    EXPECT_TRUE(parseDecimal("-9223372036854775808", v));
    EXPECT_EQ(v, std::numeric_limits<long long>::min());
    EXPECT_TRUE(parseDecimal("9223372036854775807", v));
    EXPECT_FALSE(parseDecimal("9223372036854775808", v));
    EXPECT_FALSE(parseDecimal("", v));
    EXPECT_FALSE(parseDecimal("-", v));
    EXPECT_FALSE(parseDecimal(" 1", v));
    EXPECT_FALSE(parseDecimal("1 ", v));
    EXPECT_FALSE(parseDecimal("0x10", v));
    EXPECT_FALSE(parseDecimal("+-1", v));
}

}  // namespace
}  // namespace brimwick
