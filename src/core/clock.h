// Clock: where wall-clock instants come from, so tests can drive time themselves.
#pragma once

namespace brimwick {

// Seconds since the Unix epoch, as a 64-bit float with sub-second precision.
using Instant = double;

class Clock {
  public:
    virtual ~Clock() = default;
    virtual Instant now() const = 0;
};

// The system's real-time clock.
class SystemClock final : public Clock {
  public:
    Instant now() const override;
};

}  // namespace brimwick
