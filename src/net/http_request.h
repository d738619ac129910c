// HTTP/1.1 request parsing shared by the hook and phone servers: a pure function over the bytes
// received so far. One request per connection; no keep-alive, no chunked bodies.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <string_view>

namespace brimwick {

struct HttpRequest {
    std::string method;
    std::string path;                            // raw request target, nothing decoded
    std::map<std::string, std::string> headers;  // lower-cased name -> trimmed value
    std::string body;

    // The value of a header by lower-case name, or nullptr.
    const std::string* header(const std::string& lowerName) const {
        const auto it = headers.find(lowerName);
        return it == headers.end() ? nullptr : &it->second;
    }
};

struct HttpLimits {
    std::size_t maxHeaderBytes = 65'536;      // header section without its blank line
    long long maxContentLength = 33'554'432;  // also bounds the buffered request
};

enum class ParseStatus { incomplete, malformed, request };

struct ParseResult {
    ParseStatus status = ParseStatus::incomplete;
    HttpRequest request;  // filled only for ParseStatus::request
    // The header section has arrived whole (only the body may still be missing).
    bool headComplete = false;
};

// Parses the bytes received so far on one connection.
ParseResult parseRequest(std::string_view bytes, const HttpLimits& limits = {});

// A signed decimal integer: optional '+' or '-', then one or more ASCII digits, nothing else.
// Gives false on anything else, including values beyond `long long`.
bool parseDecimal(std::string_view text, long long& out);

}  // namespace brimwick
