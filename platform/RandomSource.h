#pragma once

// Implemented features:
//  [X] Uniform doubles in a closed range, uniform integers in a closed range, fair coins.
//  [X] Seedable, so a host can make a run reproducible; otherwise seeded from the OS.
//  [ ] Cryptographic quality: nothing here needs it.

#include <cstdint>
#include <optional>
#include <random>

namespace zibbles::platform {

class RandomSource {
  public:
    virtual ~RandomSource() = default;
    // Main thread only, like every caller in the module.
    virtual double uniform(double low, double high) = 0;
    virtual std::int64_t uniformInt(std::int64_t low, std::int64_t high) = 0;
    virtual bool coin() = 0;
};

class SeededRandom final : public RandomSource {
  public:
    // No seed: one from the OS.
    explicit SeededRandom(std::optional<std::uint64_t> seed = std::nullopt);
    double uniform(double low, double high) override;
    std::int64_t uniformInt(std::int64_t low, std::int64_t high) override;
    bool coin() override;

  private:
    std::mt19937_64 engine_;
};

} // namespace zibbles::platform
