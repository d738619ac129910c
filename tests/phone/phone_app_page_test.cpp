// The browser page at "/app": served by the phone server over loopback with its own headers,
// self-contained and small, with the mascot palette and a policy that names its own blocks.
#include "phone/phone_app_page.h"

#include <gtest/gtest.h>

#include <cmath>
#include <nlohmann/json.hpp>
#include <regex>

#include "core/sha256.h"
#include "mascot/hex_outline_svg.h"
#include "mascot/mascot_palette.h"
#include "phone/phone_server.h"
#include "support/raw_client.h"

namespace brimwick {
namespace {

using testing::RawClient;

std::string request(const std::string& method, const std::string& target,
                    const std::string& headers = {}) {
    return method + " " + target + " HTTP/1.1\r\nHost: phone\r\n" + headers +
           "Content-Length: 0\r\n\r\n";
}

struct Answer {
    std::string statusLine;
    std::vector<std::string> headers;  // "Name: value", in order
    std::string body;
};

Answer split(const std::string& raw) {
    Answer answer;
    const auto blank = raw.find("\r\n\r\n");
    if (blank == std::string::npos) return answer;
    std::string head = raw.substr(0, blank) + "\r\n";
    answer.body = raw.substr(blank + 4);
    for (std::size_t at = 0, end; (end = head.find("\r\n", at)) != std::string::npos;
         at = end + 2) {
        if (answer.statusLine.empty()) {
            answer.statusLine = head.substr(at, end - at);
        } else {
            answer.headers.push_back(head.substr(at, end - at));
        }
    }
    return answer;
}

// The JSON literal that the page's script assigns to `name`.
nlohmann::json scriptConstant(const std::string& html, const std::string& name) {
    const std::string marker = "const " + name + " = ";
    const auto start = html.find(marker);
    if (start == std::string::npos) return nullptr;
    const auto end = html.find(";\n", start);
    return nlohmann::json::parse(html.substr(start + marker.size(), end - start - marker.size()),
                                 nullptr, false);
}

std::string blockContent(const std::string& html, const std::string& tag) {
    const auto start = html.find("<" + tag + ">") + tag.size() + 2;
    return html.substr(start, html.find("</" + tag + ">") - start);
}

class PhoneAppRouteTest : public ::testing::Test {
  protected:
    void SetUp() override {
        PhoneServer::Options options;
        options.port = 0;
        options.address = "127.0.0.1";
        server = PhoneServer::create("Studio Mac", {"good-token"}, "123456", {}, clock, options);
        ASSERT_TRUE(server->start().ok());
    }
    std::string exchange(const std::string& bytes) {
        RawClient client(server->port());
        client.send(bytes);
        return client.readAll();
    }
    SystemClock clock;
    std::shared_ptr<PhoneServer> server;
};

TEST_F(PhoneAppRouteTest, ServesThePageWithItsOwnHeadersAndNoAuthentication) {
    const auto& page = phoneAppPage();
    for (const std::string& headers :
         {std::string(), std::string("Authorization: Bearer wrong\r\n")}) {
        const auto answer = split(exchange(request("GET", "/app", headers)));
        EXPECT_EQ(answer.statusLine, "HTTP/1.1 200 OK");
        EXPECT_EQ(
            answer.headers,
            (std::vector<std::string>{
                "Connection: close", "Content-Type: text/html; charset=utf-8",
                "Cache-Control: no-store", "Content-Security-Policy: " + page.contentSecurityPolicy,
                "X-Content-Type-Options: nosniff", "Referrer-Policy: no-referrer",
                "Content-Length: " + std::to_string(page.html.size())}));
        EXPECT_EQ(answer.body, page.html);
    }
    // A query does not change the route.
    EXPECT_EQ(split(exchange(request("GET", "/app?from=qr"))).body, page.html);
}

TEST_F(PhoneAppRouteTest, OnlyAnExactGetOfAppIsThePage) {
    const std::string notFound =
        "HTTP/1.1 404 Not Found\r\nConnection: close\r\nContent-Type: application/json\r\n"
        "Content-Length: 0\r\n\r\n";
    EXPECT_EQ(exchange(request("POST", "/app")), notFound);
    EXPECT_EQ(exchange(request("HEAD", "/app")), notFound);
    EXPECT_EQ(exchange(request("GET", "/app/")), notFound);
    EXPECT_EQ(exchange(request("GET", "/App")), notFound);
    EXPECT_EQ(exchange(request("GET", "/apps")), notFound);
    // The neighbouring routes answer as before.
    EXPECT_EQ(split(exchange(request("GET", "/"))).body, R"({"app":"Brimwick"})");
    EXPECT_EQ(split(exchange(request("GET", "/status"))).statusLine, "HTTP/1.1 401 Unauthorized");
}

TEST(PhoneAppPage, IsSmallSelfContainedAndFullyFilledIn) {
    const auto& html = phoneAppPage().html;
    EXPECT_LT(html.size(), 40u * 1024u);
    EXPECT_EQ(html.find("{{"), std::string::npos) << "a placeholder was left in the page";
    EXPECT_EQ(html.rfind("<!doctype html>", 0), 0u);
    // Nothing is fetched from elsewhere: no linked files, sources, imports or URLs in styles.
    for (const char* external : {"<link", " src=", "@import", "url(", "https://", "//fonts"}) {
        EXPECT_EQ(html.find(external), std::string::npos) << external;
    }
    // One inline style and one inline script, the blocks the policy names, without attributes.
    auto count = [&](const std::string& text) {
        std::size_t n = 0;
        for (auto at = html.find(text); at != std::string::npos; at = html.find(text, at + 1)) ++n;
        return n;
    };
    EXPECT_EQ(count("<script>"), 1u);
    EXPECT_EQ(count("<style>"), 1u);
    std::smatch match;
    EXPECT_FALSE(std::regex_search(html, match, std::regex(R"(<script[^>])")));
    EXPECT_FALSE(std::regex_search(html, match, std::regex(R"(\son[a-z]+=)")))
        << "inline handlers would be refused by the policy: " << match.str();
}

TEST(PhoneAppPage, CarriesTheMascotPaletteAndOutline) {
    const auto& html = phoneAppPage().html;
    const auto palette = scriptConstant(html, "PALETTE");
    ASSERT_TRUE(palette.is_object()) << palette;
    EXPECT_EQ(palette.size(), kAllBotStates.size());
    for (BotState state : kAllBotStates) {
        const auto name = std::string(rawValue(state));
        ASSERT_TRUE(palette.contains(name)) << name;
        const std::string colour = palette[name];
        ASSERT_EQ(colour.size(), 7u) << colour;
        const Rgb rgb = paletteColor(state);
        const double expected[] = {rgb.red, rgb.green, rgb.blue};
        for (int i = 0; i < 3; ++i) {
            const double channel = std::stoi(colour.substr(1 + 2 * i, 2), nullptr, 16) / 255.0;
            EXPECT_NEAR(channel, expected[i], 0.5 / 255 + 1e-9) << name << " " << colour;
        }
    }
    EXPECT_EQ(palette["approval"], "#ffc25c");

    const auto hexagons = scriptConstant(html, "HEX");
    ASSERT_TRUE(hexagons.is_object()) << hexagons;
    EXPECT_EQ(hexagons["body"], hexOutlineSvgPath(10, 2.4));
    EXPECT_EQ(hexagons["badge"], hexOutlineSvgPath(6.2, 1.4));
    EXPECT_EQ(hexagons["core"], hexOutlineSvgPath(3.4, 0.8));
}

TEST(PhoneAppPage, PolicyNamesTheFilledInBlocksAndNothingElse) {
    const auto page = buildPhoneAppPage(
        "<style>b{}</style><script>const P = {{palette}};</script><p>x</p>"
        "<script>go()</script>");
    const auto first = blockContent(page.html, "script");
    ASSERT_NE(first.find("\"working\":\"#7ab3ff\""), std::string::npos) << first;
    // Hashed after filling in, or the browser would refuse the script.
    EXPECT_EQ(page.contentSecurityPolicy,
              "default-src 'none'; script-src 'sha256-" + base64(sha256(first)) + "' 'sha256-" +
                  base64(sha256("go()")) + "'; style-src 'sha256-" + base64(sha256("b{}")) +
                  "'; connect-src 'self'; img-src data:; base-uri 'none'; form-action 'none'; "
                  "frame-ancestors 'none'");

    // With no blocks at all nothing inline is allowed; an unclosed block is not hashed.
    EXPECT_NE(buildPhoneAppPage("<p>plain</p><script>open")
                  .contentSecurityPolicy.find("script-src 'none'; style-src 'none'"),
              std::string::npos);
    // The real page's policy names its one style and one script block.
    const auto& real = phoneAppPage();
    EXPECT_NE(real.contentSecurityPolicy.find(
                  "script-src 'sha256-" + base64(sha256(blockContent(real.html, "script"))) + "';"),
              std::string::npos);
    EXPECT_NE(real.contentSecurityPolicy.find(
                  "style-src 'sha256-" + base64(sha256(blockContent(real.html, "style"))) + "';"),
              std::string::npos);
    EXPECT_EQ(real.contentSecurityPolicy.find("unsafe"), std::string::npos);
}

}  // namespace
}  // namespace brimwick
