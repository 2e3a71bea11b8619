#include "run/random_source.h"

namespace sigilflip {

SeededRandom::SeededRandom(Seed seed) : engine_(seed) {}

float SeededRandom::Next() {
  // 24 random bits fill a float's significand exactly, so the result is never rounded up to 1.
  return static_cast<float>(engine_() >> 8) * 0x1p-24f;
}

}  // namespace sigilflip
