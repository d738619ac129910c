// The plan-usage answer: the first two bytes pick the HTTP status (mostly 200), the rest is the
// body. Also the reset-time reader on its own, over the whole input.
#include <cmath>
#include <string>
#include <string_view>
#include <variant>

#include "core/json_input.h"
#include "core/percent.h"
#include "fuzz_targets.h"
#include "usage/usage_api.h"

namespace brimwick::fuzz {
namespace {

void checkLimit(const std::optional<UsageLimit>& limit) {
    if (!limit) return;
    expect(std::isfinite(limit->used) && limit->used >= 0.0 && limit->used <= 1.0,
           "used is a fraction");
    const int left = percentLeft(limit->used);
    expect(left >= 0 && left <= 100, "percent left is 0 to 100");
    if (limit->resetsAt) expect(std::isfinite(*limit->resetsAt), "a reset time is a real instant");
}

}  // namespace

void usageDecode(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    static constexpr long kStatuses[] = {200, 200, 200, 200, 401, 403, 429, 500, 204, 0, -1, 999};
    HttpClient::Response response;
    response.status = size > 0 ? kStatuses[data[0] % std::size(kStatuses)] : 200;
    response.body = std::string(bytes.substr(std::min<std::size_t>(size, 1)));
    constexpr Instant now = 1'800'000'000.0;

    const auto outcome = usage_api::decode(response, now);
    if (const auto* usage = std::get_if<PlanUsage>(&outcome)) {
        expect(response.status == 200, "figures only come with 200");
        expect(usage->session || usage->week, "figures have at least one window");
        expect(usage->fetchedAt == now, "figures are stamped with the decode time");
        expect(jsonNestsWithin(response.body, kMaxJsonNesting), "deep answers are refused");
        checkLimit(usage->session);
        checkLimit(usage->week);
    } else {
        const auto& error = std::get<UsageError>(outcome);
        expect(!error.text().empty(), "every error has a text");
        expect(error.kind != UsageError::Kind::http || error.status == response.status,
               "an HTTP error keeps its status");
    }
    expect(std::holds_alternative<UsageError>(usage_api::decode(std::nullopt, now)),
           "no response is an error");

    if (const auto reset = usage_api::parseResetTime(bytes)) {
        expect(std::isfinite(*reset), "a reset time is a real instant");
    }
}

}  // namespace brimwick::fuzz

BRIMWICK_FUZZ_ENTRY(usageDecode)
