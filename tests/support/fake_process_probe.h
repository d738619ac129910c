// FakeProcessProbe: a ProcessProbe whose answers the test sets. Every id is alive unless it is
// in `gone`; every question is recorded.
#pragma once

#include <set>
#include <vector>

#include "platform/process_probe.h"

namespace brimwick::testing {

struct FakeProcessProbe final : ProcessProbe {
    bool exists(std::int32_t pid) const override { return asked.push_back(pid), !gone.count(pid); }

    std::set<std::int32_t> gone;
    mutable std::vector<std::int32_t> asked;
};

}  // namespace brimwick::testing
