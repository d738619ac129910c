// The browser page at "/app" (its route is in the server's tests): self-contained and small, with
// the mascot palette and a policy that names exactly its own inline blocks.
#include "phone/phone_app_page.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <regex>

#include "core/sha256.h"
#include "mascot/hex_outline_svg.h"
#include "mascot/mascot_palette.h"

namespace brimwick {
namespace {

// The JSON literal the page's script assigns to `name`.
nlohmann::json scriptConstant(const std::string& html, const std::string& name) {
    const std::string marker = "const " + name + " = ";
    const auto start = html.find(marker) + marker.size();
    return nlohmann::json::parse(html.substr(start, html.find(";\n", start) - start), nullptr,
                                 false);
}
std::string blockOf(const std::string& html, const std::string& tag) {
    const auto start = html.find("<" + tag + ">") + tag.size() + 2;
    return html.substr(start, html.find("</" + tag + ">") - start);
}
std::string hash(const std::string& block) {
    return "'sha256-" + base64(sha256(block)) + "'";
}

TEST(PhoneAppPage, IsSmallSelfContainedAndFullyFilledInWithTheMascotLook) {
    const auto& page = phoneAppPage();
    const auto& html = page.html;
    EXPECT_LT(html.size(), 40u * 1024u);
    EXPECT_EQ(html.find("{{"), std::string::npos) << "a placeholder was left in the page";
    EXPECT_TRUE(html.starts_with("<!doctype html>"));
    // Nothing is fetched from elsewhere, and only the one style and one script the policy names
    // run: no attributes on them, no inline handlers.
    for (const char* refused : {"<link", " src=", "@import", "url(", "https://", "//fonts"}) {
        EXPECT_EQ(html.find(refused), std::string::npos) << refused;
    }
    for (const char* block : {"<script", "<style"}) {
        EXPECT_EQ(html.find(block, html.find(block) + 1), std::string::npos) << block;
    }
    std::smatch match;
    EXPECT_FALSE(std::regex_search(html, match, std::regex(R"(<script[^>]|\son[a-z]+=)")))
        << match.str();
    EXPECT_NE(page.contentSecurityPolicy.find("script-src " + hash(blockOf(html, "script")) + ";"),
              std::string::npos);
    EXPECT_NE(page.contentSecurityPolicy.find("style-src " + hash(blockOf(html, "style")) + ";"),
              std::string::npos);
    EXPECT_EQ(page.contentSecurityPolicy.find("unsafe"), std::string::npos);

    const auto palette = scriptConstant(html, "PALETTE");
    ASSERT_EQ(palette.size(), kAllBotStates.size()) << palette;
    for (BotState state : kAllBotStates) {
        const std::string colour = palette.value(std::string(rawValue(state)), "");
        const Rgb rgb = paletteColor(state);
        const double expected[] = {rgb.red, rgb.green, rgb.blue};
        for (int i = 0; i < 3 && colour.size() == 7; ++i) {
            EXPECT_NEAR(std::stoi(colour.substr(1 + 2 * i, 2), nullptr, 16) / 255.0, expected[i],
                        0.5 / 255 + 1e-9)
                << rawValue(state) << " " << colour;
        }
        EXPECT_EQ(colour.size(), 7u) << rawValue(state);
    }
    EXPECT_EQ(palette["approval"], "#ffc25c");
    const auto hexagons = scriptConstant(html, "HEX");
    EXPECT_EQ(hexagons["body"], hexOutlineSvgPath(10, 2.4));
    EXPECT_EQ(hexagons["badge"], hexOutlineSvgPath(6.2, 1.4));
    EXPECT_EQ(hexagons["core"], hexOutlineSvgPath(3.4, 0.8));
}

TEST(PhoneAppPage, ThePolicyHashesTheFilledInBlocksAndNothingElse) {
    const auto page = buildPhoneAppPage(
        "<style>b{}</style><script>const P = {{palette}};</script><p>x</p><script>go()</script>");
    const auto first = blockOf(page.html, "script");
    ASSERT_NE(first.find("\"working\":\"#7ab3ff\""), std::string::npos) << first;
    // Hashed after filling in, or the browser would refuse the script.
    EXPECT_EQ(page.contentSecurityPolicy,
              "default-src 'none'; script-src " + hash(first) + " " + hash("go()") +
                  "; style-src " + hash("b{}") +
                  "; connect-src 'self'; img-src data:; base-uri 'none'; form-action 'none'; "
                  "frame-ancestors 'none'");
    // With no blocks nothing inline is allowed; an unclosed block is not hashed.
    EXPECT_NE(buildPhoneAppPage("<p>plain</p><script>open")
                  .contentSecurityPolicy.find("script-src 'none'; style-src 'none'"),
              std::string::npos);
}

}  // namespace
}  // namespace brimwick
