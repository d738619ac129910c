// The plan-usage answer: the first byte picks the HTTP status (mostly 200), the rest is the
// body. Also the reset-time reader on its own, over the whole input.
#include <cmath>
#include <variant>

#include "core/json_input.h"
#include "core/percent.h"
#include "fuzz_targets.h"
#include "usage/usage_api.h"

void brimwick::fuzz::usageDecode(std::string_view bytes) {
    static constexpr long kStatuses[] = {200, 200, 200, 200, 401, 403, 429, 500, 204, 0, -1, 999};
    HttpClient::Response response;
    response.status =
        bytes.empty() ? 200 : kStatuses[std::uint8_t(bytes[0]) % std::size(kStatuses)];
    response.body = std::string(bytes.substr(bytes.empty() ? 0 : 1));
    constexpr Instant now = 1'800'000'000.0;

    const auto outcome = usage_api::decode(response, now);
    if (const auto* usage = std::get_if<PlanUsage>(&outcome)) {
        expect(response.status == 200, "figures only come with 200");
        expect(usage->session || usage->week, "figures have at least one window");
        expect(usage->fetchedAt == now, "figures are stamped with the decode time");
        expect(jsonNestsWithin(response.body, kMaxJsonNesting), "deep answers are refused");
        for (const auto& limit : {usage->session, usage->week}) {
            if (!limit) continue;
            expect(std::isfinite(limit->used) && limit->used >= 0.0 && limit->used <= 1.0,
                   "used is a fraction");
            const int left = percentLeft(limit->used);
            expect(left >= 0 && left <= 100, "percent left is 0 to 100");
            expect(!limit->resetsAt || std::isfinite(*limit->resetsAt),
                   "a reset is a real instant");
        }
    } else {
        const auto& error = std::get<UsageError>(outcome);
        expect(!error.text().empty(), "every error has a text");
        expect(error.kind != UsageError::Kind::http || error.status == response.status,
               "an HTTP error keeps its status");
    }
    expect(std::holds_alternative<UsageError>(usage_api::decode(std::nullopt, now)),
           "no response is an error");
    const auto reset = usage_api::parseResetTime(bytes);
    expect(!reset || std::isfinite(*reset), "a reset time is a real instant");
}

BRIMWICK_FUZZ_ENTRY(usageDecode)
