// FakeRandom: a scripted RandomSource for tests. Values are handed out in the order given;
// once a script runs dry it falls back to a fixed value, and every draw is counted.
#pragma once

#include <cstdio>
#include <deque>
#include <string>

#include "core/random_source.h"

namespace brimwick::testing {

class FakeRandom final : public RandomSource {
  public:
    double uniform01() override {
        ++uniformDraws;
        if (uniforms.empty()) return fallbackUniform;
        const double value = uniforms.front();
        uniforms.pop_front();
        return value;
    }
    // Unscripted ids are well formed and distinct in their first six digits.
    std::string uuidString() override {
        ++uuidDraws;
        char text[37];
        std::snprintf(text, sizeof text, "%06X00-0000-4000-8000-000000000000", uuidDraws);
        std::string value = uuids.empty() ? text : std::move(uuids.front());
        if (!uuids.empty()) uuids.pop_front();
        return value;
    }

    std::deque<double> uniforms;    // next values of uniform01()
    std::deque<std::string> uuids;  // next values of uuidString()
    double fallbackUniform = 0.5;
    int uniformDraws = 0;
    int uuidDraws = 0;
};

}  // namespace brimwick::testing
