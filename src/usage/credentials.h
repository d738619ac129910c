// Credentials: the OAuth login token that Claude Code stored, read from the keychain tool or
// from ~/.claude/.credentials.json.
#pragma once

#include <optional>
#include <stop_token>
#include <string>
#include <string_view>

#include "core/clock.h"

namespace brimwick {

// Where the login record is looked for. Tests point both at stand-ins.
struct CredentialSources {
    // The keychain tool; when it does not exist (every Linux machine) the lookup yields nothing.
    std::string keychainTool = "/usr/bin/security";
    // Seconds the keychain tool may run before it is killed.
    double keychainTimeout = 10.0;
    // The credentials file; empty means ~/.claude/.credentials.json below the home directory.
    std::string file;
};

struct Credentials {
    std::string accessToken;           // never empty
    std::optional<Instant> expiresAt;  // absent when the record has no numeric expiry

    bool operator==(const Credentials&) const = default;

    // The keychain first, then the file. Blocking: may take up to the keychain time-out plus a
    // second or two. Any thread. Nothing when neither source holds a usable record, or when
    // `stop` was requested while the keychain tool ran.
    static std::optional<Credentials> load(const CredentialSources& sources = {},
                                           std::stop_token stop = {});

    // Runs the keychain tool ("find-generic-password -s Claude Code-credentials -w") and gives
    // its standard output untouched, or nothing when it cannot start, fails, is killed by the
    // time-out or by a stop request, or prints nothing. Blocking; any thread. The tool starts
    // with no signal blocked, whatever the calling thread blocks.
    static std::optional<std::string> keychain(const std::string& tool, double timeoutSeconds,
                                               std::stop_token stop = {});

    // Reads the JSON login record: {"claudeAiOauth": {"accessToken": "…", "expiresAt": ms}}.
    // Nothing when it is not JSON, lacks the object, or the token is empty or could not travel
    // in a header line (control characters).
    static std::optional<Credentials> parse(std::string_view bytes);

    static std::string defaultFile();
};

}  // namespace brimwick
