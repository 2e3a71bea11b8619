#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>

#include "facts/int16.h"
#include "text/rune_key.h"
#include "text/rune_table.h"

namespace sigilflip {

// What the first pass found that the second rewrites, so that the second copies the bytes between
// them without looking at them again: each rune line, with its key's number and its rune's slot,
// and each line end that is not CR LF (key and slot 0), in the order of the file. A place is kept
// as the bytes before it (its gap, from the end of the place before) and its own bytes (its
// length): 4 bytes, the gap and the length in one each and the key and the slot in two; a gap
// over 254 or a length over 255 takes 16 bytes more, for both at full width. Past `cap` bytes the
// record stops, and the second pass finds the places after it itself.
class RunePlaces {
 public:
  static constexpr std::size_t kDefaultCap = 10 * 1024 * 1024;

  // A place: the bytes before it (from the end of the place before) and its own bytes.
  struct Place {
    std::uint64_t gap;
    std::uint64_t length;
    int key;     // a rune line's key number (rune_key.h), 0 for a line end
    Int16 slot;  // of the rune line's rune
  };
  static constexpr std::uint64_t kNowhere = std::numeric_limits<std::uint64_t>::max();

  // Allocated, not touched: a short file's record takes only the pages it writes.
  explicit RunePlaces(std::size_t cap = kDefaultCap)
      : cap_(cap),
        bytes_(std::make_unique_for_overwrite<unsigned char[]>(cap)),
        next_(bytes_.get()) {}

  // Adds places after those recorded, in a local of the scan (line_scan.h says why): they count
  // once Keep takes them.
  class Writer {
   public:
    // Adds the place that lies from `start` to `end` in the source, in the bytes that HasRoomFor
    // was asked of.
    void Add(std::uint64_t start, std::uint64_t end, int key, Int16 slot) {
      const std::uint64_t gap = start - last_;
      const std::uint64_t length = end - start;
      last_ = end;
      const auto tag = static_cast<std::uint16_t>(key << kSlotBits | slot);
      std::memcpy(next_ + 2, &tag, sizeof tag);
      if (gap < kFar && length <= 0xFF) {
        next_[0] = static_cast<unsigned char>(gap);
        next_[1] = static_cast<unsigned char>(length);
        next_ += kShortPlace;
      } else {
        next_[0] = kFar;
        std::memcpy(next_ + kShortPlace, &gap, sizeof gap);
        std::memcpy(next_ + kShortPlace + sizeof gap, &length, sizeof length);
        next_ += kLongestPlace;
      }
    }

   private:
    friend class RunePlaces;
    Writer(unsigned char* next, std::uint64_t last) : next_(next), last_(last) {}
    unsigned char* next_;
    std::uint64_t last_;
  };

  // Whether the record takes every place in the next `sourceBytes` bytes of the source. A place
  // takes kShortPlace bytes a byte of it, gap included, at the most; only the first's gap may
  // start before them.
  bool HasRoomFor(std::size_t sourceBytes) const {
    static_assert(kLongestPlace <= kShortPlace * kFar);
    return kShortPlace * sourceBytes + kLongestPlace <=
           static_cast<std::size_t>(bytes_.get() + cap_ - next_);
  }
  Writer Writing() const { return {next_, last_}; }
  void Keep(const Writer& writer) {
    next_ = writer.next_;
    last_ = writer.last_;
  }

  // Stops the record at `at`, where no place has started and none goes on: every place before it
  // is recorded and none after it. Only the first call counts.
  void StopAt(std::uint64_t at) {
    if (!Stopped()) {
      covered_ = at;
    }
  }
  bool Stopped() const { return covered_ != kNowhere; }
  // The places lie before this offset, and every place before it is recorded.
  std::uint64_t CoveredUpTo() const { return covered_; }

  // Reads the places in the order they were added.
  class Reader {
   public:
    explicit Reader(const RunePlaces& found) : next_(found.bytes_.get()), end_(found.next_) {}

    // Sets `place` to the next place; at the end, to one whose gap is kNowhere and length 0.
    void Next(Place& place) {
      if (next_ == end_) {
        place = {kNowhere, 0, 0, 0};
        return;
      }
      std::uint16_t tag;
      std::memcpy(&tag, next_ + 2, sizeof tag);
      place.key = tag >> kSlotBits;
      place.slot = static_cast<Int16>(tag & ((1 << kSlotBits) - 1));
      if (next_[0] != kFar) {
        place.gap = next_[0];
        place.length = next_[1];
        next_ += kShortPlace;
      } else {
        std::memcpy(&place.gap, next_ + kShortPlace, sizeof place.gap);
        std::memcpy(&place.length, next_ + kShortPlace + sizeof place.gap, sizeof place.length);
        next_ += kLongestPlace;
      }
    }

   private:
    const unsigned char* next_;
    const unsigned char* end_;
  };

 private:
  static constexpr unsigned char kFar = 255;
  // A place's key and slot share two bytes: the key's bits (rune_key.h) over the slot's.
  static constexpr int kSlotBits = 16 - rune_key::kBits;
  static_assert(RuneTable::kRuneSlots < 1 << kSlotBits);
  static constexpr std::size_t kShortPlace = 4;
  static constexpr std::size_t kLongestPlace = kShortPlace + 2 * sizeof(std::uint64_t);

  std::size_t cap_;
  std::unique_ptr<unsigned char[]> bytes_;
  unsigned char* next_;
  std::uint64_t last_ = 0;
  std::uint64_t covered_ = kNowhere;
};

}  // namespace sigilflip
