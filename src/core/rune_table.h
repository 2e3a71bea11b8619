#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "checked.h"

namespace sigilflip {

// One slot of the rune table.
struct RuneRecord {
  Int16 Used = kFalse;  // kTrue while the slot holds a rune
  std::string Name;     // as first met, stripped of surrounding spaces, case kept
  std::string NewName;  // given by the scramble; empty until then
};

// The runes of one run, in slots 1 to kRuneSlots. The runes always fill slots 1 to RuneCount()
// without a gap: a rune goes into the lowest free slot, and only Reset frees slots.
//
// Two names are the same rune when they are equal after stripping leading and trailing spaces
// (U+0020 only) and upper-casing both. Names are Windows-1252 bytes.
class RuneTable {
 public:
  static constexpr Int16 kRuneSlots = 1000;

  RuneTable();

  // Frees every slot and sets RuneCount to 0.
  void Reset();

  // Adds the rune if the table does not hold it yet. Returns false only when the name is new and
  // every slot is taken; the name is then not added.
  bool AddRune(std::string_view RuneName);

  // The NewName of the rune that RuneName names, or empty text when the table holds no such rune.
  std::string_view GetRune(std::string_view RuneName) const;

  // The slot of the rune that RuneName names, or 0 when the table holds no such rune.
  Int16 SlotOf(std::string_view RuneName) const;
  // The record of that slot, or nullptr.
  const RuneRecord* FindRune(std::string_view RuneName) const;

  Int16 RuneCount() const { return RuneCount_; }

  // Slot 1 to kRuneSlots; throws std::out_of_range for any other number.
  const RuneRecord& Runes(Int16 slot) const;

  // Gives the rune in `slot` its new name.
  void SetNewName(Int16 slot, std::string_view NewName);

 private:
  // An open-addressing index from a name's comparison key (stripped, upper-cased) to its slot, so
  // that a look-up neither scans the slots nor builds the key as a string.
  static constexpr std::size_t kBuckets = 2048;  // a power of two, over twice kRuneSlots

  // The spellings met while adding runes, exactly as written (stripped), each with its rune's
  // slot: most lines spell a rune the same way, and such a look-up needs neither upper-casing nor
  // the index above. Names of up to 16 bytes, and at most kSpellings of them, so that memory stays
  // flat however many spellings a file holds; any other spelling is looked up in the index. The
  // spellings lie side by side and a small index of their own finds them, so that both stay in
  // the processor's nearest caches.
  struct Spelling {
    std::uint64_t head = 0;  // the first and the last eight bytes, which for up to 16 bytes are
    std::uint64_t tail = 0;  // all of them (see SpellingOf)
    std::uint32_t size = 0;
    Int16 slot = 0;
  };
  static constexpr std::size_t kSpellings = 4096;
  static constexpr std::size_t kSpellingBuckets = 2 * kSpellings;  // a power of two
  static constexpr std::size_t kLongestSpelling = 16;

  static Spelling SpellingOf(std::string_view stripped);
  // The bucket that holds `spelling`, or the empty bucket where it would go.
  std::size_t SpellingBucket(const Spelling& spelling) const;
  Int16 SlotOfSpelling(std::string_view stripped) const;
  void RememberSpelling(std::string_view stripped, Int16 slot);

  static std::size_t IndexOf(Int16 slot);
  static std::uint32_t HashOf(std::string_view stripped);
  // The bucket that holds `stripped`'s slot, or the empty bucket where it would go.
  std::size_t BucketOf(std::string_view stripped, std::uint32_t hash) const;

  std::vector<RuneRecord> Runes_;  // index 0 is slot 1
  Int16 RuneCount_ = 0;
  std::array<Int16, kBuckets> slotInBucket_{};   // 0: empty
  std::vector<std::string> keys_;                // per slot, index 0 is slot 1
  std::vector<std::uint32_t> hashes_;            // per slot
  std::vector<Spelling> spellings_;              // up to kSpellings, in the order met
  std::vector<std::uint16_t> spellingInBucket_;  // kSpellingBuckets; 0: empty, else index + 1
};

// The name without leading and trailing U+0020 spaces (other white space is kept).
inline std::string_view StripSpaces(std::string_view name) {
  if (name.empty() || (name.front() != ' ' && name.back() != ' ')) {
    return name;  // most names: nothing to strip
  }
  const std::size_t first = name.find_first_not_of(' ');
  if (first == std::string_view::npos) {
    return {};
  }
  return name.substr(first, name.find_last_not_of(' ') - first + 1);
}

}  // namespace sigilflip
