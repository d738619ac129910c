// Bearer token lookup on the phone port: its time must not depend on how many leading bytes of a
// sent token are right, or a client on the network could find a token byte by byte. Compare the
// rows of knownToken (wrong first byte, wrong last byte, right) with the plain set lookup.
#include <benchmark/benchmark.h>

#include <set>
#include <string>

#include "phone/phone_requests.h"
#include "phone/phone_server.h"

namespace {

using namespace brimwick;

enum class Sent { wrongFirstByte, wrongLastByte, right };

// Four paired phones; the sent token is the first of them, changed as the row says.
struct Tokens {
    explicit Tokens(Sent how) {
        for (int i = 0; i < 4; ++i) all.insert(PhoneServer::randomToken().value());
        sent = *all.begin();
        if (how == Sent::wrongFirstByte) sent.front() ^= 1;
        if (how == Sent::wrongLastByte) sent.back() ^= 1;
    }
    std::set<std::string> all;
    std::string sent;
};

void BM_KnownToken(benchmark::State& state, Sent how) {
    Tokens tokens(how);
    for (auto _ : state) {
        benchmark::DoNotOptimize(tokens.sent);
        benchmark::DoNotOptimize(phone_requests::knownToken(tokens.sent, tokens.all));
    }
}

void BM_SetLookup(benchmark::State& state, Sent how) {
    Tokens tokens(how);
    for (auto _ : state) {
        benchmark::DoNotOptimize(tokens.sent);
        benchmark::DoNotOptimize(tokens.all.count(tokens.sent));
    }
}

BENCHMARK_CAPTURE(BM_KnownToken, wrongFirstByte, Sent::wrongFirstByte);
BENCHMARK_CAPTURE(BM_KnownToken, wrongLastByte, Sent::wrongLastByte);
BENCHMARK_CAPTURE(BM_KnownToken, right, Sent::right);
BENCHMARK_CAPTURE(BM_SetLookup, wrongFirstByte, Sent::wrongFirstByte);
BENCHMARK_CAPTURE(BM_SetLookup, wrongLastByte, Sent::wrongLastByte);
BENCHMARK_CAPTURE(BM_SetLookup, right, Sent::right);

}  // namespace

BENCHMARK_MAIN();
