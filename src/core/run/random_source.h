#pragma once

#include <bit>
#include <cstdint>
#include <random>

namespace sigilflip {

// Where the scramble draws its numbers from.
class RandomSource {
 public:
  virtual ~RandomSource() = default;
  // The next number, uniformly distributed in [0, 1).
  virtual float Next() = 0;
};

// What a run's draws follow from: a whole number from 0 to 4294967295. The same seed gives the
// same draws, and so the same shuffle of the same magic.ini, on every platform and in every later
// version (std::mt19937's sequence is fixed by the C++ standard).
using Seed = std::uint32_t;

// The seed of a press at `seconds` since midnight: the bits of that single-precision number, so
// that each time of day has a seed of its own, which can be given back to repeat the run.
constexpr Seed SeedOf(float seconds) {
  return std::bit_cast<Seed>(seconds);
}

// The production source: a Mersenne Twister seeded with the seed itself.
class SeededRandom final : public RandomSource {
 public:
  explicit SeededRandom(Seed seed);
  float Next() override;

 private:
  std::mt19937 engine_;
};

}  // namespace sigilflip
