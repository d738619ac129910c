#include "support/fake_random.h"

#include <cstdio>

namespace brimwick::testing {

double FakeRandom::uniform01() {
    ++uniformDraws;
    if (uniforms.empty()) return fallbackUniform;
    const double value = uniforms.front();
    uniforms.pop_front();
    return value;
}

std::string FakeRandom::uuidString() {
    ++uuidDraws;
    if (!uuids.empty()) {
        std::string value = std::move(uuids.front());
        uuids.pop_front();
        return value;
    }
    // Distinct in the first six digits and well formed, so unscripted demo ids never collide.
    char text[37];
    std::snprintf(text, sizeof text, "%06X00-0000-4000-8000-000000000000",
                  static_cast<unsigned>(uuidDraws));
    return text;
}

}  // namespace brimwick::testing
