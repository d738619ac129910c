// usage_api: the stateless plan-usage client. Loads the login, asks the vendor's usage endpoint
// for the five-hour and seven-day limits and turns the answer or the failure into plain values.
#pragma once

#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <variant>

#include "core/background_task.h"
#include "core/clock.h"
#include "platform/http_client.h"
#include "usage/credentials.h"

namespace brimwick {

struct UsageLimit {
    double used = 0.0;                // fraction used up, always within 0.0 … 1.0
    std::optional<Instant> resetsAt;  // absent when not given or unreadable

    bool operator==(const UsageLimit&) const = default;
};

struct PlanUsage {
    std::optional<UsageLimit> session;  // the five-hour window
    std::optional<UsageLimit> week;     // the seven-day window
    Instant fetchedAt = 0;              // local time the answer was decoded

    bool operator==(const PlanUsage&) const = default;
};

// Why no figures came back. The text is what the displays show in place of the figures.
struct UsageError {
    enum class Kind { http, signedOut, expired, unauthorized, rateLimited, network, badResponse };

    Kind kind = Kind::network;
    int status = 0;  // the HTTP status, for Kind::http only

    static UsageError http(int status) { return {Kind::http, status}; }
    static UsageError of(Kind kind) { return {kind, 0}; }

    std::string text() const;

    bool operator==(const UsageError&) const = default;
};

// Figures (with at least one of the two windows present) or the reason there are none.
using UsageOutcome = std::variant<PlanUsage, UsageError>;

namespace usage_api {

inline constexpr std::string_view defaultEndpoint = "https://api.anthropic.com/api/oauth/usage";
inline constexpr double requestTimeout = 15.0;

// The usage URL: $BRIMWICK_USAGE_URL when it holds an http or https URL, else defaultEndpoint.
std::string endpoint();

// What one fetch needs, every one given (the application assembles the real ones).
struct Options {
    std::string url;  // empty: endpoint() at the time of the fetch
    std::shared_ptr<HttpClient> http;
    std::function<std::optional<Credentials>(std::stop_token)> loadCredentials;
    std::shared_ptr<const Clock> clock;
};

// One complete fetch: credentials, the GET with its three header fields, the outcome. Blocking
// (up to the login record's read plus the request time-out), so never on the main thread. Never
// throws; every failure is a UsageError. Makes no request when signed out or expired. A stop
// request ends the wait for the login record or the server at once, as a network failure.
UsageOutcome fetch(const Options& options, std::stop_token stop = {});

// Runs fetch() on `worker`'s thread with its stop token and calls `done` there with the outcome
// (a network failure, at once on this thread, when no thread could be started).
void fetchInBackground(BackgroundTask& worker, Options options,
                       std::function<void(UsageOutcome)> done);

// Maps an HTTP outcome (nothing = no HTTP response) to figures or an error.
UsageOutcome decode(const std::optional<HttpClient::Response>& response, Instant now);

// One window object: {"utilization": percent, "resets_at": "ISO 8601"}. Nothing when it is not
// an object or the utilization is not a number; a bad reset time only drops resetsAt.
std::optional<UsageLimit> limit(const nlohmann::json& value);

// "2025-06-01T12:30:00Z", "…+02:00", fractional seconds allowed anywhere and dropped.
std::optional<Instant> parseResetTime(std::string_view text);

}  // namespace usage_api
}  // namespace brimwick
