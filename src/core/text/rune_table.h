#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "facts/int16.h"
#include "text/code_page.h"
#include "text/cpu_features.h"

namespace sigilflip {

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

// A name that lies in a buffer with at least kNameReadAhead readable bytes from its start (a value
// in the read buffer of a pass, or a copy in a buffer of that size): a look-up can then load its
// bytes as whole words, whatever its size.
inline constexpr std::size_t kNameReadAhead = 32;
struct BufferedName {
  std::string_view text;
};

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
// (U+0020 only) and upper-casing both. Names are bytes in the table's code page.
class RuneTable {
 public:
  static constexpr Int16 kRuneSlots = 1000;

  explicit RuneTable(const CodePage& codePage = CodePage::Get(1252));

  const CodePage& codePage() const { return *codePage_; }

  // Frees every slot and sets RuneCount to 0.
  void Reset();

  // Adds the rune if the table does not hold it yet. Returns false only when the name is new and
  // every slot is taken; the name is then not added.
  bool AddRune(std::string_view RuneName) { return SlotAfterAdding(RuneName) != 0; }
  // The same, and returns the rune's slot, or 0 when it was not added.
  Int16 SlotAfterAdding(std::string_view RuneName);
  Int16 SlotAfterAdding(BufferedName RuneName) {
    const Int16 known = SlotOfSpelling(RuneName);
    return known != 0 ? known : AddUnremembered(RuneName);
  }

  // The NewName of the rune that RuneName names, or empty text when the table holds no such rune.
  std::string_view GetRune(std::string_view RuneName) const;

  // The slot of the rune that RuneName names, or 0 when the table holds no such rune.
  Int16 SlotOf(std::string_view RuneName) const;
  Int16 SlotOf(BufferedName RuneName) const {
    const Int16 known = SlotOfSpelling(RuneName);
    return known != 0 ? known : SlotOfStripped(StripSpaces(RuneName.text));
  }
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

  // The spellings met while adding runes, exactly as written (surrounding spaces included), each
  // with its rune's slot: most lines spell a rune the same way, and such a look-up needs neither
  // stripping, nor upper-casing, nor the index above. Spellings of up to kLongestSpelling bytes,
  // and at most kSpellings of them, so that memory stays flat however many spellings a file
  // holds; any other spelling is looked up in the index. The spellings lie side by side and a
  // small index of their own finds them, so that both stay in the processor's nearest caches.
  static constexpr std::size_t kLongestSpelling = kNameReadAhead;
  static constexpr std::size_t kSpellings = 4096;
  static constexpr std::size_t kSpellingBuckets = 4 * kSpellings;  // a power of two
  struct Spelling {
    std::array<std::uint64_t, kLongestSpelling / 8> words{};  // the bytes, zero past the size
    std::uint32_t size = 0;
    Int16 slot = 0;

    // Without a branch per word.
    bool SameAs(const Spelling& other) const {
#ifdef SIGILFLIP_SSE2
      const auto load = [](const std::uint64_t* word) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(word));
      };
      const __m128i same = _mm_and_si128(_mm_cmpeq_epi8(load(&words[0]), load(&other.words[0])),
                                         _mm_cmpeq_epi8(load(&words[2]), load(&other.words[2])));
      return (_mm_movemask_epi8(same) == 0xFFFF) & (size == other.size);
#else
      std::uint64_t differ = size ^ other.size;
      for (std::size_t i = 0; i < words.size(); ++i) {
        differ |= words[i] ^ other.words[i];
      }
      return differ == 0;
#endif
    }
  };
  // 0xFF for each byte of a spelling's size, then zeros, from kLongestSpelling - size on.
  static constexpr auto kKeepBytes = [] {
    std::array<unsigned char, 2 * kLongestSpelling> keep{};
    for (std::size_t i = 0; i < kLongestSpelling; ++i) {
      keep[i] = 0xFF;
    }
    return keep;
  }();

  // `name` is at most kLongestSpelling bytes, with kNameReadAhead readable from its start.
  static Spelling SpellingOf(BufferedName name);
  // Where the walk for a spelling of these words and this size starts.
  static std::size_t FirstSpellingBucket(const std::uint64_t* words, std::size_t size);
  // The bucket that holds `spelling`, or the empty bucket where it would go.
  std::size_t SpellingBucket(const Spelling& spelling) const;
  Int16 SlotOfSpelling(BufferedName name) const;
  void RememberSpelling(BufferedName name, Int16 slot);

  Int16 AddStripped(std::string_view stripped, BufferedName spelling);
  Int16 AddUnremembered(BufferedName RuneName) {
    return AddStripped(StripSpaces(RuneName.text), RuneName);
  }
  Int16 SlotOfStripped(std::string_view stripped) const;

  // Whether the index hashes a key made for each name (CodePage::Key): in multi-byte code pages,
  // and single-byte ones whose letters do not fold by bits. Each rune's name as first met is then
  // found by its bytes first, so that most look-ups make no key.
  bool keyed() const {
    return !codePage_->singleByte() || !codePage_->foldsByBits();
  }
  // The bucket of slotOfName_ that holds `stripped`'s slot, or the empty one where it would go.
  std::size_t NameBucket(std::string_view stripped) const;

  static std::size_t IndexOf(Int16 slot);
  // A multi-byte code page's key of `stripped` (CodePage::Key), made once for a look-up; empty in
  // single-byte code pages, whose bytes are folded as they are compared.
  std::string WholeKey(std::string_view stripped) const {
    return codePage_->singleByte() ? std::string() : codePage_->Key(stripped);
  }
  std::uint32_t HashOf(std::string_view stripped, const std::string& wholeKey) const;
  // The bucket that holds `stripped`'s slot, or the empty bucket where it would go.
  std::size_t BucketOf(std::string_view stripped, const std::string& wholeKey,
                       std::uint32_t hash) const;

  const CodePage* codePage_;
  std::vector<RuneRecord> Runes_;  // index 0 is slot 1
  Int16 RuneCount_ = 0;
  std::array<Int16, kBuckets> slotInBucket_{};   // 0: empty
  std::array<Int16, kBuckets> slotOfName_{};     // where keyed(), by the name's bytes; 0: empty
  std::vector<std::string> keys_;                // per slot, index 0 is slot 1
  std::vector<std::uint32_t> hashes_;            // per slot
  std::vector<Spelling> spellings_;              // up to kSpellings, in the order met
  std::vector<std::uint16_t> spellingInBucket_;  // kSpellingBuckets; 0: empty, else index + 1
};

inline RuneTable::Spelling RuneTable::SpellingOf(BufferedName name) {
  // The name's bytes with those past its size cleared.
  const char* bytes = name.text.data();
  const unsigned char* keep = kKeepBytes.data() + kLongestSpelling - name.text.size();
  Spelling spelling;
#ifdef SIGILFLIP_SSE2
  for (std::size_t i = 0; i < kLongestSpelling; i += 16) {
    const __m128i word = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
    const __m128i mask = _mm_loadu_si128(reinterpret_cast<const __m128i*>(keep + i));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(spelling.words.data() + i / 8),
                     _mm_and_si128(word, mask));
  }
#else
  for (std::size_t i = 0; i < spelling.words.size(); ++i) {
    std::uint64_t word;
    std::uint64_t mask;
    std::memcpy(&word, bytes + 8 * i, 8);
    std::memcpy(&mask, keep + 8 * i, 8);
    spelling.words[i] = word & mask;
  }
#endif
  spelling.size = static_cast<std::uint32_t>(name.text.size());
  return spelling;
}

inline std::size_t RuneTable::FirstSpellingBucket(const std::uint64_t* words, std::size_t size) {
  const std::uint64_t mixed = (words[0] ^ std::rotl(words[1], 17) ^ std::rotl(words[2], 31) ^
                               std::rotl(words[3], 47) ^ size) *
                              0x9E3779B97F4A7C15u;
  return static_cast<std::size_t>(mixed >> 40);
}

inline std::size_t RuneTable::SpellingBucket(const Spelling& spelling) const {
  // At most a quarter of the buckets are taken, so the walk always reaches an empty one, soon.
  for (auto bucket = FirstSpellingBucket(spelling.words.data(), spelling.size);; ++bucket) {
    bucket &= kSpellingBuckets - 1;
    const std::uint16_t entry = spellingInBucket_[bucket];
    if (entry == 0) {
      return bucket;
    }
    const Spelling& known = spellings_[entry - 1u];
    if (known.SameAs(spelling)) {
      return bucket;
    }
  }
}

inline Int16 RuneTable::SlotOfSpelling(BufferedName name) const {
  const std::size_t size = name.text.size();
  if (size > kLongestSpelling / 2) {
    if (size > kLongestSpelling) {
      return 0;
    }
    const std::uint16_t entry = spellingInBucket_[SpellingBucket(SpellingOf(name))];
    return entry == 0 ? Int16{0} : spellings_[entry - 1u].slot;
  }
  // Most spellings fill half a Spelling at most: their other words are zeros, and need neither
  // hashing nor comparing.
  const unsigned char* keep = kKeepBytes.data() + kLongestSpelling - size;
  std::uint64_t words[4] = {};
  for (std::size_t i = 0; i < 2; ++i) {
    std::uint64_t mask;
    std::memcpy(&words[i], name.text.data() + 8 * i, 8);
    std::memcpy(&mask, keep + 8 * i, 8);
    words[i] &= mask;
  }
  for (auto bucket = FirstSpellingBucket(words, size);; ++bucket) {
    bucket &= kSpellingBuckets - 1;
    const std::uint16_t entry = spellingInBucket_[bucket];
    if (entry == 0) {
      return 0;
    }
    const Spelling& known = spellings_[entry - 1u];
    if (((known.words[0] ^ words[0]) | (known.words[1] ^ words[1]) | (known.size ^ size)) == 0) {
      return known.slot;
    }
  }
}

}  // namespace sigilflip
