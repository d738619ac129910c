#include "usage/usage_api.h"

#include <cmath>
#include <cstdlib>

#include "core/json_input.h"
#include "platform/curl_http_client.h"

namespace brimwick {

std::string UsageError::text() const {
    switch (kind) {
        case Kind::http:
            return "Usage unavailable (HTTP " + std::to_string(status) + ")";
        case Kind::signedOut:
            return "Sign in to Claude Code to see usage";
        case Kind::expired:
            return "Claude Code login expired, run claude to refresh it";
        case Kind::unauthorized:
            return "Claude Code login was rejected, run claude to sign in again";
        case Kind::rateLimited:
            return "Usage is rate limited, retrying soon";
        case Kind::network:
            return "Usage unavailable (offline?)";
        case Kind::badResponse:
            return "Usage unavailable (unexpected response)";
    }
    return "Usage unavailable (unexpected response)";
}

namespace usage_api {
namespace {

bool digitsAt(std::string_view text, std::size_t at, std::size_t count, int& out) {
    if (at + count > text.size()) return false;
    out = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        out = out * 10 + (text[i] - '0');
    }
    return true;
}

// Days from 1970-01-01 to the given civil date (proleptic Gregorian).
long long daysFromCivil(int year, int month, int day) {
    year -= month <= 2;
    const long long era = (year >= 0 ? year : year - 399) / 400;
    const long long yearOfEra = year - era * 400;
    const long long dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const long long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

int daysInMonth(int year, int month) {
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

std::string withoutFractions(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '.' && i + 1 < text.size() && text[i + 1] >= '0' && text[i + 1] <= '9') {
            while (i + 1 < text.size() && text[i + 1] >= '0' && text[i + 1] <= '9') ++i;
            continue;
        }
        out.push_back(text[i]);
    }
    return out;
}

}  // namespace

std::string endpoint() {
    if (const char* url = std::getenv("BRIMWICK_USAGE_URL")) {
        const std::string_view value(url);
        if (value.starts_with("http://") || value.starts_with("https://")) {
            return std::string(value);
        }
    }
    return std::string(defaultEndpoint);
}

std::optional<Instant> parseResetTime(std::string_view raw) {
    const std::string text = withoutFractions(raw);
    // YYYY-MM-DDTHH:MM:SS followed by Z or ±HH:MM
    int year, month, day, hour, minute, second;
    if (text.size() != 20 && text.size() != 25) return std::nullopt;
    if (!digitsAt(text, 0, 4, year) || text[4] != '-' || !digitsAt(text, 5, 2, month) ||
        text[7] != '-' || !digitsAt(text, 8, 2, day) || text[10] != 'T' ||
        !digitsAt(text, 11, 2, hour) || text[13] != ':' || !digitsAt(text, 14, 2, minute) ||
        text[16] != ':' || !digitsAt(text, 17, 2, second)) {
        return std::nullopt;
    }
    if (month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month) || hour > 23 ||
        minute > 59 || second > 59) {
        return std::nullopt;
    }
    long long offset = 0;
    if (text.size() == 20) {
        if (text[19] != 'Z') return std::nullopt;
    } else {
        int offsetHours, offsetMinutes;
        if ((text[19] != '+' && text[19] != '-') || !digitsAt(text, 20, 2, offsetHours) ||
            text[22] != ':' || !digitsAt(text, 23, 2, offsetMinutes) || offsetHours > 23 ||
            offsetMinutes > 59) {
            return std::nullopt;
        }
        offset = (offsetHours * 60LL + offsetMinutes) * 60 * (text[19] == '-' ? -1 : 1);
    }
    const long long seconds =
        daysFromCivil(year, month, day) * 86400LL + hour * 3600LL + minute * 60LL + second;
    return static_cast<Instant>(seconds - offset);
}

std::optional<UsageLimit> limit(const nlohmann::json& value) {
    if (!value.is_object()) return std::nullopt;
    const auto utilization = value.find("utilization");
    if (utilization == value.end() || !utilization->is_number()) return std::nullopt;

    UsageLimit result;
    const double used = utilization->get<double>() / 100.0;
    result.used = std::isnan(used) || used < 0.0 ? 0.0 : (used > 1.0 ? 1.0 : used);

    const auto resets = value.find("resets_at");
    if (resets != value.end() && resets->is_string()) {
        result.resetsAt = parseResetTime(resets->get_ref<const std::string&>());
    }
    return result;
}

UsageOutcome decode(const std::optional<HttpClient::Response>& response, Instant now) {
    if (!response) return UsageError::of(UsageError::Kind::network);
    const long status = response->status;
    if (status == 401 || status == 403) return UsageError::of(UsageError::Kind::unauthorized);
    if (status == 429) return UsageError::of(UsageError::Kind::rateLimited);
    if (status != 200) return UsageError::http(static_cast<int>(status));

    const auto body = parseJsonInput(response->body);
    if (body.is_discarded() || !body.is_object()) {
        return UsageError::of(UsageError::Kind::badResponse);
    }
    PlanUsage usage;
    if (const auto it = body.find("five_hour"); it != body.end()) usage.session = limit(*it);
    if (const auto it = body.find("seven_day"); it != body.end()) usage.week = limit(*it);
    usage.fetchedAt = now;
    if (!usage.session && !usage.week) return UsageError::of(UsageError::Kind::badResponse);
    return usage;
}

UsageOutcome fetch(const Options& options, std::stop_token stop) {
    const auto credentials = options.loadCredentials(stop);
    if (stop.stop_requested()) return UsageError::of(UsageError::Kind::network);
    if (!credentials) return UsageError::of(UsageError::Kind::signedOut);
    const Instant now = options.clock->now();
    if (credentials->expiresAt && *credentials->expiresAt < now) {
        return UsageError::of(UsageError::Kind::expired);
    }
    HttpClient::Request request;
    request.url = options.url.empty() ? endpoint() : options.url;
    request.headers = {{"Authorization", "Bearer " + credentials->accessToken},
                       {"anthropic-beta", "oauth-2025-04-20"},
                       {"Accept", "application/json"}};
    request.timeoutSeconds = requestTimeout;
    request.stop = stop;
    const auto response = options.http->get(request);
    return decode(response, options.clock->now());
}

void fetchInBackground(BackgroundTask& worker, Options options,
                       std::function<void(UsageOutcome)> done) {
    auto shared = std::make_shared<std::function<void(UsageOutcome)>>(std::move(done));
    const bool started = worker.start([options = std::move(options), shared](std::stop_token stop) {
        (*shared)(fetch(options, stop));
    });
    // No thread to spare: report it like any other failed transfer.
    if (!started) (*shared)(UsageError::of(UsageError::Kind::network));
}

}  // namespace usage_api
}  // namespace brimwick
