#pragma once

#include <random>

namespace sigilflip {

// Where the scramble draws its numbers from.
class RandomSource {
 public:
  virtual ~RandomSource() = default;
  // The next number, uniformly distributed in [0, 1).
  virtual float Next() = 0;
};

// The production source: a Mersenne Twister seeded from a single-precision number (the window
// seeds it with the seconds since midnight, so equal seeds give equal runs).
class SeededRandom final : public RandomSource {
 public:
  explicit SeededRandom(float seed);
  float Next() override;

 private:
  std::mt19937 engine_;
};

}  // namespace sigilflip
