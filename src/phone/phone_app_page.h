// The browser page for phones, served at "/app": one self-contained HTML document (style and
// script inline) that speaks the phone protocol from the same origin, with the mascot palette and
// hexagon outline filled in, and the HTTP answer that serves it with a hash-based
// Content-Security-Policy.
#pragma once

#include <string>
#include <string_view>

namespace brimwick {

struct PhoneAppPage {
    std::string html;
    // Allows exactly the page's own inline <style> and <script> blocks (by SHA-256) and requests
    // to the same origin; nothing else.
    std::string contentSecurityPolicy;
};

// The page template compiled in from src/phone/web/app.html.
std::string_view phoneAppTemplate();

// Fills "{{palette}}" (state name to "#rrggbb") and "{{hexagons}}" (SVG path data of the mascot
// outline at three sizes) into `html` and hashes every <style> and <script> block.
PhoneAppPage buildPhoneAppPage(std::string_view html);

// The compiled-in page, built once. Any thread.
const PhoneAppPage& phoneAppPage();

// "200 OK" with the page: text/html in UTF-8, never cached, the policy above, no sniffing and
// no referrer; "Connection: close" and the length like every other answer of the phone server.
std::string phoneAppResponse();

}  // namespace brimwick
