// RandomSource: where randomness comes from (session seeds, demo ids, demo timing), so tests
// can script it.
#pragma once

#include <cstdint>
#include <random>
#include <string>

namespace brimwick {

// Main-thread use only; implementations need not be thread-safe.
class RandomSource {
  public:
    virtual ~RandomSource() = default;

    // A value drawn uniformly from [0, 1); never 1.
    virtual double uniform01() = 0;

    // A random (version 4) UUID in its standard upper-case text form,
    // e.g. "3F2504E0-4F89-41D3-9A0C-0305E82C3301".
    virtual std::string uuidString() = 0;
};

// mt19937_64 seeded once from std::random_device. Not for secrets.
class SystemRandomSource final : public RandomSource {
  public:
    SystemRandomSource();

    double uniform01() override;
    std::string uuidString() override;

  private:
    std::mt19937_64 engine_;
};

// Formats 16 bytes as a version 4 UUID (the version and variant bits are forced).
std::string formatUuidV4(std::uint64_t high, std::uint64_t low);

}  // namespace brimwick
