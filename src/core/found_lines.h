#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>

#include "checked.h"

namespace sigilflip {

// Where the first pass over a file whose lines end in CR found the places that the second pass
// rewrites, so that the second copies the bytes between them without looking for them again: the
// start of each rune line with its key's number and its rune's slot, and each line end that is not
// CR LF (slot 0); in the order of the file, 8 bytes each. Memory stays bounded: past `cap` bytes of places the record
// stops, at the start of a line, and the second pass looks for the places after it itself.
class FoundLines {
 public:
  static constexpr std::size_t kDefaultCap = 4 * 1024 * 1024;

  // Allocated, not touched: a short file's record takes only the pages it writes.
  explicit FoundLines(std::size_t cap = kDefaultCap)
      : capacity_(cap / sizeof(std::uint64_t)),
        places_(std::make_unique_for_overwrite<std::uint64_t[]>(capacity_)) {
    Clear();
  }

  // Empty, and recording again.
  void Clear() {
    next_ = places_.get();
    end_ = places_.get() + capacity_;
    covered_ = kEverything;
  }

  // Adds the rune line with `key` (1 to 5) and `slot` that starts at `offset` in the file, or the
  // line end at `offset` (key and slot 0); false when the record has stopped or is full (the
  // caller then stops it with StopAt).
  bool Add(std::uint64_t offset, int key, Int16 slot) {
    if (next_ == end_) {
      return false;
    }
    *next_++ = offset << 16 | static_cast<std::uint64_t>(key) << 13 | static_cast<std::uint16_t>(slot);
    return true;
  }

  // Stops the record at `lineStart`, the start of a line: it drops the places from there on and
  // records no more. Only the first call counts.
  void StopAt(std::uint64_t lineStart) {
    if (covered_ != kEverything) {
      return;
    }
    covered_ = lineStart;
    next_ = std::partition_point(places_.get(), next_,
                                 [&](std::uint64_t place) { return OffsetOf(place) < lineStart; });
    end_ = next_;
  }

  // The places lie before this offset, and every place before it is recorded.
  std::uint64_t CoveredUpTo() const { return covered_; }

  const std::uint64_t* begin() const { return places_.get(); }
  const std::uint64_t* end() const { return next_; }

  static std::uint64_t OffsetOf(std::uint64_t place) { return place >> 16; }
  static int KeyOf(std::uint64_t place) { return static_cast<int>(place >> 13 & 7); }
  static Int16 SlotOf(std::uint64_t place) { return static_cast<Int16>(place & 0x1FFF); }

 private:
  static constexpr std::uint64_t kEverything = std::numeric_limits<std::uint64_t>::max();

  std::size_t capacity_;
  std::unique_ptr<std::uint64_t[]> places_;
  std::uint64_t* next_;
  std::uint64_t* end_;
  std::uint64_t covered_;
};

}  // namespace sigilflip
