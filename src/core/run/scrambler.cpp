#include "run/scrambler.h"

#include <cmath>
#include <vector>

namespace sigilflip {

Int16 WalkCount(float r, Int16 runeCount) {
  const double product = static_cast<double>(r) * runeCount;
  double rounded = std::floor(product);
  const double fraction = product - rounded;
  if (fraction > 0.5 || (fraction == 0.5 && std::fmod(rounded, 2.0) != 0.0)) {
    rounded += 1.0;
  }
  return ToInt16(rounded);
}

void ScrambleRunes(RuneTable& table, RandomSource& random) {
  const Int16 count = table.RuneCount();
  // The runes still without a name, in slot order. Every lap of the walk passes each of them once
  // and nothing changes during the walk, so counting k of them cyclically lands on the
  // ((k - 1) mod n)-th, counted from 0. The list is never empty: fewer names than runes have
  // been handed out before the last draw.
  std::vector<Int16> unnamed;
  unnamed.reserve(static_cast<std::size_t>(count));
  for (Int16 slot = 1; slot <= count; ++slot) {
    unnamed.push_back(slot);
  }
  for (Int16 i = 1; i <= count; ++i) {
    const Int16 k = WalkCount(random.Next(), count);
    const std::size_t pick = k <= 1 ? 0 : static_cast<std::size_t>(k - 1) % unnamed.size();
    const std::string& name = table.Runes(i).Name;
    table.SetNewName(unnamed[pick], name);
    if (!name.empty()) {
      unnamed.erase(unnamed.begin() + static_cast<std::ptrdiff_t>(pick));
    }
  }
}

}  // namespace sigilflip
