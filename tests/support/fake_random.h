// FakeRandom: a scripted RandomSource for tests. Values are handed out in the order given;
// once a script runs dry it falls back to a fixed value, and every draw is counted.
#pragma once

#include <deque>
#include <string>

#include "core/random_source.h"

namespace brimwick::testing {

class FakeRandom final : public RandomSource {
  public:
    double uniform01() override;
    std::string uuidString() override;

    std::deque<double> uniforms;    // next values of uniform01()
    std::deque<std::string> uuids;  // next values of uuidString()
    double fallbackUniform = 0.5;
    int uniformDraws = 0;
    int uuidDraws = 0;
};

}  // namespace brimwick::testing
