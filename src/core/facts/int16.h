#pragma once

#include <cstdint>
#include <limits>
#include <stdexcept>

namespace sigilflip {

// Counters, indices and flags are signed 16-bit values. Arithmetic on them is checked: leaving the
// 16-bit range is an error, never a wrap-around.
using Int16 = std::int16_t;

inline constexpr Int16 kTrue = -1;
inline constexpr Int16 kFalse = 0;

class OverflowError : public std::overflow_error {
 public:
  OverflowError() : std::overflow_error("Overflow in a 16-bit counter") {}
};

// Converts a whole-numbered value to 16 bits, or throws OverflowError when it does not fit (NaN
// included).
template <typename T>
constexpr Int16 ToInt16(T value) {
  if (!(value >= std::numeric_limits<Int16>::min() && value <= std::numeric_limits<Int16>::max())) {
    throw OverflowError();
  }
  return static_cast<Int16>(value);
}

constexpr Int16 CheckedAdd(Int16 a, Int16 b) {
  return ToInt16(int{a} + int{b});
}

}  // namespace sigilflip
