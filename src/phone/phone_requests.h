// Phone request decoding: the pure functions that turn a phone's request target and JSON bodies
// into values, shared by the phone server and its fuzz target. No state, no I/O, never throws.
#pragma once

#include <cstddef>
#include <optional>
#include <set>
#include <string>

namespace brimwick::phone_requests {

// A request target split at its first '?'. Empty pieces are dropped before the first is taken
// as the path, so "" and "?" give "/" while "?x" gives the path "x" (a 404).
struct Target {
    std::string path;
    std::string query;
};
Target splitTarget(const std::string& target);

// The value of the first "v=" item of a query, or -1 when it is missing or not a decimal.
long long sinceVersion(const std::string& query);

// Only the characters of `text` that are numbers in the Unicode sense, each kept as it was
// sent, so "123 456" and "123-456" match the code 123456. A full-width digit stays full-width
// and never equals an ASCII one: such a code is a wrong guess. Invalid UTF-8 is skipped.
std::string numericCharacters(const std::string& text);

// POST /pair {"code": "…", "device": "…"}. Nothing (a "400 Bad Request") when the body is not
// a non-empty object or "code" is not a string; "device" is absent unless it is a string.
struct PairBody {
    std::string code;
    std::optional<std::string> device;
};
std::optional<PairBody> parsePair(const std::string& body);

// True when `code` is set and the sent code's numeric characters are exactly its bytes.
bool codeMatches(const std::string& sent, const std::string& code);

// True when `sent` is one of `tokens`. Every byte of every token is compared, whatever the sent
// text, so the time taken tells nothing about how much of a token was guessed right.
bool knownToken(const std::string& sent, const std::set<std::string>& tokens);

// The name a paired phone is remembered by: the device text cut to `maxCharacters`
// characters, or the default name when none was sent.
std::string deviceName(const std::optional<std::string>& device, std::size_t maxCharacters);

// POST /decide {"id": "…", "decision": "allow" | "always" | "deny" | "terminal"}. Nothing for
// anything else.
struct DecideBody {
    std::string id;
    std::string decision;
};
std::optional<DecideBody> parseDecide(const std::string& body);

// POST /prompt {"session": "…", "text": "…"} or POST /new {"path": "…", "text": "…"}: the key
// must be a non-empty string and the text, trimmed, must have 1 … `maxCharacters` characters.
// Nothing otherwise (the "Empty or too long" answer).
struct ForwardBody {
    std::string key;   // the session id or the project folder
    std::string text;  // trimmed
};
std::optional<ForwardBody> parseForward(bool prompt, const std::string& body,
                                        std::size_t maxCharacters);

}  // namespace brimwick::phone_requests
