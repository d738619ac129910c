// What a phone sends: the request target's path and "v=" query, and the bodies of "/pair",
// "/decide", "/prompt" and "/new". Every decoder sees the whole input.
#include "core/json_input.h"
#include "core/text.h"
#include "fuzz_targets.h"
#include "phone/phone_requests.h"
#include "phone/phone_server.h"

void brimwick::fuzz::phoneRequests(std::string_view bytes) {
    const std::string input(bytes);
    using namespace phone_requests;
    const auto target = splitTarget(input);
    expect(!target.path.empty(), "a target always has a path");
    expect(target.path.find('?') == std::string::npos || input.find('?') == 0,
           "the path ends at the first question mark");
    expect(sinceVersion(input) == -1 || input.find("v=") != std::string::npos,
           "a version comes from a v= item");
    const std::string digits = numericCharacters(input);
    expect(digits.size() <= input.size() && text::isValidUtf8(digits),
           "numeric characters are a UTF-8 part of the text");
    if (const auto pair = parsePair(input)) {
        const auto name = deviceName(pair->device, PhoneServer::kMaxDeviceName);
        expect(!name.empty() || (pair->device && pair->device->empty()),
               "a device is named unless it sent an empty name");
        expect(text::characterCount(name) <= PhoneServer::kMaxDeviceName, "names are cut");
        expect(!codeMatches(pair->code, ""), "no code matches while pairing is off");
        expect(codeMatches(pair->code, numericCharacters(pair->code)) ==
                   !numericCharacters(pair->code).empty(),
               "a code matches its own digits");
    }
    if (const auto decide = parseDecide(input)) {
        expect(decide->decision == "allow" || decide->decision == "always" ||
                   decide->decision == "deny" || decide->decision == "terminal",
               "only the four decisions pass");
    }
    expect(jsonNestsWithin(input, kMaxJsonNesting) ||
               (!parsePair(input) && !parseDecide(input) && !parseForward(true, input, 1) &&
                !parseForward(false, input, 1)),
           "deep bodies are refused");
    for (const bool prompt : {true, false}) {
        if (const auto forward = parseForward(prompt, input, PhoneServer::kMaxPromptLength)) {
            expect(!forward->key.empty(), "a prompt names its target");
            expect(!forward->text.empty() && text::trimmed(forward->text) == forward->text,
                   "a prompt is trimmed and not empty");
            expect(text::characterCount(forward->text) <= PhoneServer::kMaxPromptLength,
                   "a prompt is within the limit");
        }
    }
}

BRIMWICK_FUZZ_ENTRY(phoneRequests)
