// Hook payload decoding: each input line is one request body, decoded as the hook server does
// and applied to a session store in virtual time, as the application does with every post. A
// line "<pid>\t<body>" also carries an X-Claude-PID header.
#include <set>

#include "core/json_input.h"
#include "core/text.h"
#include "fuzz_targets.h"
#include "hooks/hook_server.h"
#include "sessions/session_store.h"
#include "support/fake_process_probe.h"
#include "support/fake_random.h"
#include "support/manual_main_queue.h"

void brimwick::fuzz::hookEvent(std::string_view input) {
    testing::ManualMainQueue queue;
    auto store = SessionStore::create(queue, queue, std::make_shared<testing::FakeProcessProbe>(),
                                      std::make_shared<testing::FakeRandom>());
    for (std::size_t start = 0, lines = 0; start <= input.size() && lines++ < 64;) {
        const auto end = std::min(input.find('\n', start), input.size());
        std::string body(input.substr(start, end - start));
        start = end + 1;
        std::optional<std::string> pid;
        if (const auto tab = body.find('\t'); tab != std::string::npos) {
            pid = body.substr(0, tab);
            body.erase(0, tab + 1);
        }
        auto event = HookEvent::fromBody(body);
        const auto json = nlohmann::json::parse(body, nullptr, /*allow_exceptions=*/false);
        expect(!event || json.is_object(), "only objects decode");
        expect(!event || jsonNestsWithin(body, kMaxJsonNesting), "deep bodies are refused");
        if (!event) continue;
        event->hostPID = HookServer::processId(pid ? &*pid : nullptr);
        expect(!event->name.empty() || event->state, "an event has a name or a state");
        if (event->toolDetail) {
            expect(text::characterCount(*event->toolDetail) <= 400, "tool detail is cut to 400");
            expect(text::isValidUtf8(*event->toolDetail), "tool detail is UTF-8");
        }
        for (const auto& suggestion :
             event->permissionSuggestions.value_or(std::vector<nlohmann::json>{})) {
            expect(suggestion.is_object(), "suggestions are objects");
        }
        expect(!event->hostPID || *event->hostPID >= 2, "process ids are 2 or more");
        expect(HookEvent::fromJson(json).has_value(), "decoding is repeatable");

        store->handle(*event);
        queue.advance(1.0 + static_cast<double>(body.size() % 7));
        std::set<std::string> ids;
        for (const auto& session : store->sessions()) {
            expect(ids.insert(session.id).second, "one session per id");
        }
        expect(store->ranked().size() == store->sessions().size(), "ranking keeps every session");
        expect(store->visible().size() <= 1, "at most one session is visible");
    }
    // Long after the last post every session has been swept away or put to sleep.
    queue.advance(4000);
    expect(store->sessions().empty(), "idle sessions are forgotten");
}

BRIMWICK_FUZZ_ENTRY(hookEvent)
