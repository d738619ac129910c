#include "net/http_request.h"

#include <limits>

#include "core/text.h"

namespace brimwick {
namespace {

std::string_view trimSpacesAndTabs(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

std::string asciiLower(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

void parseRequestLine(std::string_view line, HttpRequest& request) {
    std::string_view pieces[2];
    int found = 0;
    std::size_t i = 0;
    while (i < line.size() && found < 2) {
        while (i < line.size() && line[i] == ' ') ++i;
        const std::size_t start = i;
        while (i < line.size() && line[i] != ' ') ++i;
        if (i > start) pieces[found++] = line.substr(start, i - start);
    }
    request.method = std::string(pieces[0]);
    request.path = found >= 2 ? std::string(pieces[1]) : "/";
}

// "Name: value" with leading colons skipped; lines without text on both sides are ignored.
void parseHeaderLine(std::string_view line, HttpRequest& request) {
    std::size_t start = 0;
    while (start < line.size() && line[start] == ':') ++start;
    const std::size_t colon = line.find(':', start);
    if (start == line.size() || colon == std::string_view::npos) return;
    const std::string_view name = line.substr(start, colon - start);
    const std::string_view value = line.substr(colon + 1);
    if (value.empty()) return;
    request.headers[asciiLower(trimSpacesAndTabs(name))] = std::string(trimSpacesAndTabs(value));
}

}  // namespace

bool parseDecimal(std::string_view text, long long& out) {
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) return false;
    // Accumulate as a negative number so LLONG_MIN fits.
    long long value = 0;
    constexpr long long min = std::numeric_limits<long long>::min();
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        const int digit = c - '0';
        if (value < (min + digit) / 10) return false;
        value = value * 10 - digit;
    }
    if (!negative) {
        if (value == min) return false;
        value = -value;
    }
    out = value;
    return true;
}

ParseResult parseRequest(std::string_view bytes, const HttpLimits& limits) {
    const std::size_t end = bytes.find("\r\n\r\n");
    if (end == std::string_view::npos) {
        return {
            bytes.size() > limits.maxHeaderBytes ? ParseStatus::malformed : ParseStatus::incomplete,
            {}};
    }
    const std::string_view head = bytes.substr(0, end);
    if (!text::isValidUtf8(head)) return {ParseStatus::malformed, {}, true};

    ParseResult result{ParseStatus::request, {}, true};
    HttpRequest& request = result.request;
    std::size_t lineStart = 0;
    bool first = true;
    for (;;) {
        const std::size_t lineEnd = head.find("\r\n", lineStart);
        const std::string_view line =
            head.substr(lineStart, lineEnd == std::string_view::npos ? std::string_view::npos
                                                                     : lineEnd - lineStart);
        if (first) {
            parseRequestLine(line, request);
            first = false;
        } else {
            parseHeaderLine(line, request);
        }
        if (lineEnd == std::string_view::npos) break;
        lineStart = lineEnd + 2;
    }

    long long length = 0;
    if (const std::string* value = request.header("content-length")) {
        if (!parseDecimal(*value, length)) length = 0;
    }
    if (length < 0 || length > limits.maxContentLength) return {ParseStatus::malformed, {}, true};

    const std::string_view rest = bytes.substr(end + 4);
    if (rest.size() < static_cast<std::size_t>(length)) return {ParseStatus::incomplete, {}, true};
    request.body = std::string(rest.substr(0, static_cast<std::size_t>(length)));
    return result;
}

}  // namespace brimwick
