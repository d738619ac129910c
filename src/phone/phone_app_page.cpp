#include "phone/phone_app_page.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "core/sha256.h"
#include "mascot/hex_outline_svg.h"
#include "mascot/mascot_palette.h"

namespace brimwick {

// Defined in the source file generated from app.html at build time.
extern const std::string_view kPhoneAppHtml;

namespace {

std::string hexColor(const Rgb& rgb) {
    auto channel = [](double v) {
        return static_cast<int>(std::lround(std::clamp(v, 0.0, 1.0) * 255));
    };
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", channel(rgb.red), channel(rgb.green),
                  channel(rgb.blue));
    return text;
}

void replaceAll(std::string& text, std::string_view from, const std::string& to) {
    for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
}

// "'sha256-…'" for the content of every <tag>…</tag> block, each followed by a space.
std::string blockHashes(const std::string& html, const std::string& tag) {
    const std::string open = "<" + tag + ">", close = "</" + tag + ">";
    std::string hashes;
    for (auto at = html.find(open); at != std::string::npos; at = html.find(open, at)) {
        const auto start = at + open.size();
        const auto end = html.find(close, start);
        if (end == std::string::npos) break;
        hashes +=
            "'sha256-" + base64(sha256(std::string_view(html).substr(start, end - start))) + "' ";
        at = end + close.size();
    }
    if (!hashes.empty()) hashes.pop_back();
    return hashes.empty() ? "'none'" : hashes;
}

}  // namespace

std::string_view phoneAppTemplate() {
    return kPhoneAppHtml;
}

PhoneAppPage buildPhoneAppPage(std::string_view html) {
    nlohmann::json palette = nlohmann::json::object();
    for (BotState state : kAllBotStates) {
        palette[std::string(rawValue(state))] = hexColor(paletteColor(state));
    }
    // The mascot's body, its centre badge and the working state's inner hexagon, at radius 10.
    const nlohmann::json hexagons = {{"body", hexOutlineSvgPath(10, 2.4)},
                                     {"badge", hexOutlineSvgPath(6.2, 1.4)},
                                     {"core", hexOutlineSvgPath(3.4, 0.8)}};
    PhoneAppPage page;
    page.html = std::string(html);
    replaceAll(page.html, "{{palette}}", palette.dump());
    replaceAll(page.html, "{{hexagons}}", hexagons.dump());
    page.contentSecurityPolicy = "default-src 'none'; script-src " +
                                 blockHashes(page.html, "script") + "; style-src " +
                                 blockHashes(page.html, "style") +
                                 "; connect-src 'self'; img-src data:; base-uri 'none'; "
                                 "form-action 'none'; frame-ancestors 'none'";
    return page;
}

const PhoneAppPage& phoneAppPage() {
    static const PhoneAppPage page = buildPhoneAppPage(phoneAppTemplate());
    return page;
}

std::string phoneAppResponse() {
    const PhoneAppPage& page = phoneAppPage();
    return "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Type: text/html; charset=utf-8\r\n"
           "Cache-Control: no-store\r\nContent-Security-Policy: " +
           page.contentSecurityPolicy +
           "\r\nX-Content-Type-Options: nosniff\r\nReferrer-Policy: no-referrer\r\n"
           "Content-Length: " +
           std::to_string(page.html.size()) + "\r\n\r\n" + page.html;
}

}  // namespace brimwick
