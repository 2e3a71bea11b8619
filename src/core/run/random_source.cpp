#include "run/random_source.h"

#include <bit>
#include <cstdint>

namespace sigilflip {

SeededRandom::SeededRandom(float seed) : engine_(std::bit_cast<std::uint32_t>(seed)) {}

float SeededRandom::Next() {
  // 24 random bits fill a float's significand exactly, so the result is never rounded up to 1.
  return static_cast<float>(engine_() >> 8) * 0x1p-24f;
}

}  // namespace sigilflip
