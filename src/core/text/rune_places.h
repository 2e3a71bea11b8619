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

// Where the first pass over a file whose lines end in CR found the places that the second pass
// rewrites, so that the second copies the bytes between them without looking for them again: the
// start of each rune line with its key's number and its rune's slot, and each line end that is not
// CR LF (key and slot 0); in the order of the file. A place takes 3 bytes, its distance from the
// one before in one byte (255: in the 8 after it) and the key and slot in two. Memory stays
// bounded: past `cap` bytes the record stops, at the start of a line, and the second pass looks
// for the places after it itself.
class RunePlaces {
 public:
  static constexpr std::size_t kDefaultCap = 8 * 1024 * 1024;

  struct Place {
    std::uint64_t offset;
    int key;     // 1 to 5 for a rune line, 0 for a line end
    Int16 slot;  // of the rune line's rune
  };

  // Allocated, not touched: a short file's record takes only the pages it writes.
  explicit RunePlaces(std::size_t cap = kDefaultCap)
      : capacity_(cap), bytes_(std::make_unique_for_overwrite<unsigned char[]>(cap)) {
    Clear();
  }

  // Empty, and recording again.
  void Clear() {
    next_ = bytes_.get();
    end_ = bytes_.get() + capacity_;
    last_ = 0;
    covered_ = kEverything;
  }

  // Adds places after those recorded, in locals of its own (which stores into other bytes cannot
  // change): they count once Keep takes them.
  class Writer {
   public:
    // Adds a place; false when the record has stopped or is full (the caller then stops it with
    // StopAt).
    bool Add(std::uint64_t offset, int key, Int16 slot) {
      if (end_ - next_ < static_cast<std::ptrdiff_t>(kLongestPlace)) {
        return false;
      }
      std::uint64_t distance = offset - last_;
      last_ = offset;
      const auto tag = static_cast<std::uint16_t>(key << kSlotBits | slot);
      if (distance < kFar) {
        *next_ = static_cast<unsigned char>(distance);
      } else {
        *next_ = kFar;
        std::memcpy(++next_, &distance, sizeof distance);
        next_ += sizeof distance - 1;
      }
      std::memcpy(next_ + 1, &tag, sizeof tag);
      next_ += 1 + sizeof tag;
      return true;
    }

   private:
    friend class RunePlaces;
    Writer(unsigned char* next, unsigned char* end, std::uint64_t last)
        : next_(next), end_(end), last_(last) {}
    unsigned char* next_;
    unsigned char* end_;
    std::uint64_t last_;
  };

  Writer Writing() const { return {next_, end_, last_}; }
  void Keep(const Writer& writer) {
    next_ = writer.next_;
    last_ = writer.last_;
  }

  // One place, as Writer::Add.
  bool Add(std::uint64_t offset, int key, Int16 slot) {
    Writer writer = Writing();
    if (!writer.Add(offset, key, slot)) {
      return false;
    }
    Keep(writer);
    return true;
  }

  // Stops the record at `lineStart`, the start of a line: every place before the line is
  // recorded and none after it, and it records no more. Only the first call counts.
  void StopAt(std::uint64_t lineStart) {
    if (covered_ != kEverything) {
      return;
    }
    covered_ = lineStart;
    end_ = next_;
  }

  // The places lie before this offset, and every place before it is recorded.
  std::uint64_t CoveredUpTo() const { return covered_; }

  // Reads the places in the order they were added.
  class Reader {
   public:
    explicit Reader(const RunePlaces& found) : next_(found.bytes_.get()), end_(found.next_) {}

    // The next place, without moving past it; false at the end.
    bool Peek(Place& place) {
      if (next_ == end_) {
        return false;
      }
      const unsigned char* at = next_;
      std::uint64_t distance = *at;
      if (distance == kFar) {
        std::memcpy(&distance, at + 1, sizeof distance);
        at += sizeof distance;
      }
      std::uint16_t tag;
      std::memcpy(&tag, at + 1, sizeof tag);
      place = {last_ + distance, tag >> kSlotBits,
               static_cast<Int16>(tag & ((1 << kSlotBits) - 1))};
      size_ = static_cast<std::size_t>(at + 1 + sizeof tag - next_);
      return true;
    }
    // Moves past `place`, which Peek gave.
    void Skip(const Place& place) {
      next_ += size_;
      last_ = place.offset;
    }

   private:
    const unsigned char* next_;
    const unsigned char* end_;
    std::uint64_t last_ = 0;
    std::size_t size_ = 0;  // of the place that Peek gave
  };

 private:
  static constexpr unsigned char kFar = 255;
  // A place's key and slot share two bytes: the key's bits (rune_key.h) over the slot's.
  static constexpr int kSlotBits = 16 - rune_key::kBits;
  static_assert(RuneTable::kRuneSlots < 1 << kSlotBits);
  static constexpr std::size_t kLongestPlace = 1 + sizeof(std::uint64_t) + sizeof(std::uint16_t);
  static constexpr std::uint64_t kEverything = std::numeric_limits<std::uint64_t>::max();

  std::size_t capacity_;
  std::unique_ptr<unsigned char[]> bytes_;
  unsigned char* next_;
  unsigned char* end_;
  std::uint64_t last_;
  std::uint64_t covered_;
};

}  // namespace sigilflip
