// The shared HTTP request parser over arbitrary bytes, with the default limits and tight ones.
#include <string>

#include "fuzz_targets.h"
#include "net/http_request.h"

namespace brimwick::fuzz {
namespace {

bool same(const HttpRequest& a, const HttpRequest& b) {
    return a.method == b.method && a.path == b.path && a.headers == b.headers && a.body == b.body;
}

void checkWith(std::string_view bytes, const HttpLimits& limits) {
    const auto full = parseRequest(bytes, limits);
    if (full.status == ParseStatus::request) {
        const auto& request = full.request;
        for (const auto& [name, value] : request.headers) {
            for (char c : name) expect(c < 'A' || c > 'Z', "header names are lower-cased");
            expect(value.empty() || (value.front() != ' ' && value.front() != '\t' &&
                                     value.back() != ' ' && value.back() != '\t'),
                   "header values are trimmed");
        }
        expect(static_cast<long long>(request.body.size()) <= limits.maxContentLength,
               "the body stays within the content-length limit");
        long long length = 0;
        const std::string* declared = request.header("content-length");
        expect(declared && parseDecimal(*declared, length)
                   ? request.body.size() == static_cast<std::size_t>(length)
                   : request.body.empty(),
               "the body is exactly the declared length, or nothing without one");
        // Only the first request counts: whatever follows it changes nothing.
        const auto longer = parseRequest(std::string(bytes) + "GET /x HTTP/1.1\r\n\r\nzz", limits);
        expect(longer.status == ParseStatus::request && same(longer.request, request),
               "bytes after a request do not change it");
    }
    // Bytes arrive in pieces: a shorter buffer never yields a different request, and is only
    // malformed for a reason the whole buffer shares or for an over-long unfinished header.
    for (const std::size_t cut : {bytes.size() / 2, bytes.empty() ? 0 : bytes.size() - 1}) {
        const auto part = parseRequest(bytes.substr(0, cut), limits);
        if (part.status == ParseStatus::request) {
            expect(full.status == ParseStatus::request && same(part.request, full.request),
                   "a prefix that is a request is the same request");
        } else if (part.status == ParseStatus::malformed) {
            const bool unfinished = bytes.substr(0, cut).find("\r\n\r\n") == std::string::npos &&
                                    cut > limits.maxHeaderBytes;
            expect(unfinished || full.status == ParseStatus::malformed,
                   "a malformed prefix means a malformed whole");
        }
    }
}

}  // namespace

void httpRequest(std::string_view bytes) {
    checkWith(bytes, HttpLimits{});
    checkWith(bytes, HttpLimits{64, 16});
    long long value = 0, again = 0;  // what the decimal reader accepts prints back the same
    expect(!parseDecimal(bytes, value) ||
               (parseDecimal(std::to_string(value), again) && again == value),
           "decimals round-trip");
}

}  // namespace brimwick::fuzz

BRIMWICK_FUZZ_ENTRY(httpRequest)
