#include "phone/phone_requests.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <vector>

#include "core/json_input.h"
#include "core/text.h"
#include "net/http_request.h"

namespace brimwick::phone_requests {
namespace {

constexpr const char* kDefaultDevice = "Android phone";

// An object with at least one member, or null.
nlohmann::json parseObject(const std::string& body) {
    auto json = parseJsonInput(body);
    if (!json.is_object() || json.empty()) return nlohmann::json();
    return json;
}

const std::string* textMember(const nlohmann::json& object, const char* key) {
    if (!object.is_object()) return nullptr;
    const auto it = object.find(key);
    return it != object.end() && it->is_string() ? &it->get_ref<const std::string&>() : nullptr;
}

}  // namespace

Target splitTarget(const std::string& target) {
    const auto mark = target.find('?');
    std::vector<std::string> pieces;
    for (auto piece : {target.substr(0, mark),
                       mark == std::string::npos ? std::string() : target.substr(mark + 1)}) {
        if (!piece.empty()) pieces.push_back(piece);
    }
    if (pieces.empty()) return {"/", ""};
    return {pieces[0], pieces.size() > 1 ? pieces[1] : ""};
}

long long sinceVersion(const std::string& query) {
    std::size_t start = 0;
    while (start <= query.size()) {
        const auto end = std::min(query.find('&', start), query.size());
        const std::string piece = query.substr(start, end - start);
        if (piece.starts_with("v=")) {
            long long value = 0;
            return parseDecimal(piece.substr(2), value) ? value : -1;
        }
        start = end + 1;
    }
    return -1;
}

std::string numericCharacters(const std::string& text) {
    std::string out;
    const auto* p = text.data();
    const auto n = static_cast<int32_t>(text.size());
    for (int32_t i = 0; i < n;) {
        const int32_t start = i;
        UChar32 c;
        U8_NEXT(p, i, n, c);
        if (c >= 0 && u_getIntPropertyValue(c, UCHAR_NUMERIC_TYPE) != U_NT_NONE) {
            out.append(p + start, static_cast<std::size_t>(i - start));
        }
    }
    return out;
}

std::optional<PairBody> parsePair(const std::string& body) {
    const auto object = parseObject(body);
    const std::string* code = textMember(object, "code");
    if (!code) return std::nullopt;
    PairBody pair{*code, std::nullopt};
    if (const std::string* device = textMember(object, "device")) pair.device = *device;
    return pair;
}

bool codeMatches(const std::string& sent, const std::string& code) {
    return !code.empty() && numericCharacters(sent) == code;
}

bool knownToken(const std::string& sent, const std::set<std::string>& tokens) {
    unsigned char found = 0;
    for (const auto& token : tokens) {
        // Differences are gathered, never acted on, until the whole token has been seen.
        unsigned char difference = sent.size() == token.size() ? 0 : 1;
        for (std::size_t i = 0; i < token.size(); ++i) {
            const unsigned char byte = i < sent.size() ? static_cast<unsigned char>(sent[i]) : 0;
            difference |= byte ^ static_cast<unsigned char>(token[i]);
        }
        found |= difference == 0 ? 1 : 0;
    }
    return found != 0;
}

std::string deviceName(const std::optional<std::string>& device, std::size_t maxCharacters) {
    return device ? text::prefix(text::displayable(*device), maxCharacters)
                  : std::string(kDefaultDevice);
}

std::optional<DecideBody> parseDecide(const std::string& body) {
    const auto object = parseObject(body);
    const std::string* id = textMember(object, "id");
    const std::string* decision = textMember(object, "decision");
    if (!id || !decision ||
        (*decision != "allow" && *decision != "always" && *decision != "deny" &&
         *decision != "terminal")) {
        return std::nullopt;
    }
    return DecideBody{*id, *decision};
}

std::optional<ForwardBody> parseForward(bool prompt, const std::string& body,
                                        std::size_t maxCharacters) {
    const auto object = parseObject(body);
    const std::string* key = textMember(object, prompt ? "session" : "path");
    const std::string* sent = textMember(object, "text");
    std::string trimmed = sent ? text::trimmed(*sent) : std::string();
    if (!key || key->empty() || trimmed.empty() || text::characterCount(trimmed) > maxCharacters) {
        return std::nullopt;
    }
    return ForwardBody{*key, std::move(trimmed)};
}

}  // namespace brimwick::phone_requests
