// FakeProcessProbe: a ProcessProbe whose answers the test sets. Every id is alive unless it is
// in `gone`; every question is recorded.
#pragma once

#include <cstdint>
#include <set>
#include <vector>

#include "platform/process_probe.h"

namespace brimwick::testing {

class FakeProcessProbe final : public ProcessProbe {
  public:
    bool exists(std::int32_t pid) const override {
        asked.push_back(pid);
        return !gone.count(pid);
    }

    std::set<std::int32_t> gone;
    mutable std::vector<std::int32_t> asked;
};

}  // namespace brimwick::testing
