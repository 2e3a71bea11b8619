#include "rune_table.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <stdexcept>

#include "windows1252.h"

namespace sigilflip {

RuneTable::RuneTable() : Runes_(kRuneSlots), spellingInBucket_(kSpellingBuckets) {}

void RuneTable::Reset() {
  for (RuneRecord& slot : Runes_) {
    slot = RuneRecord{};
  }
  RuneCount_ = 0;
  slotInBucket_.fill(0);
  keys_.clear();
  hashes_.clear();
  spellings_.clear();
  std::fill(spellingInBucket_.begin(), spellingInBucket_.end(), std::uint16_t{0});
}

inline RuneTable::Spelling RuneTable::SpellingOf(std::string_view stripped) {
  // Two loads that between them cover every byte of up to 16, overlapping for fewer: with the
  // size they tell two spellings apart exactly.
  const char* bytes = stripped.data();
  const std::size_t size = stripped.size();
  std::uint64_t head = 0;
  std::uint64_t tail = 0;
  if (size >= 8) {
    std::memcpy(&head, bytes, 8);
    std::memcpy(&tail, bytes + size - 8, 8);
  } else if (size >= 4) {
    std::uint32_t first;
    std::uint32_t last;
    std::memcpy(&first, bytes, 4);
    std::memcpy(&last, bytes + size - 4, 4);
    head = first;
    tail = last;
  } else if (size > 0) {
    head = static_cast<unsigned char>(bytes[0]) |
           std::uint64_t{static_cast<unsigned char>(bytes[size / 2])} << 8 |
           std::uint64_t{static_cast<unsigned char>(bytes[size - 1])} << 16;
  }
  return {head, tail, static_cast<std::uint32_t>(size), 0};
}

std::size_t RuneTable::SpellingBucket(const Spelling& spelling) const {
  const std::uint64_t mixed =
      (spelling.head ^ std::rotl(spelling.tail, 29) ^ spelling.size) * 0x9E3779B97F4A7C15u;
  // At most half the buckets are taken, so the walk always reaches an empty one.
  for (auto bucket = static_cast<std::size_t>(mixed >> 40);; ++bucket) {
    bucket &= kSpellingBuckets - 1;
    const std::uint16_t entry = spellingInBucket_[bucket];
    if (entry == 0) {
      return bucket;
    }
    const Spelling& known = spellings_[entry - 1u];
    if (known.head == spelling.head && known.tail == spelling.tail && known.size == spelling.size) {
      return bucket;
    }
  }
}

inline Int16 RuneTable::SlotOfSpelling(std::string_view stripped) const {
  if (stripped.size() > kLongestSpelling) {
    return 0;
  }
  const std::uint16_t entry = spellingInBucket_[SpellingBucket(SpellingOf(stripped))];
  return entry == 0 ? Int16{0} : spellings_[entry - 1u].slot;
}

void RuneTable::RememberSpelling(std::string_view stripped, Int16 slot) {
  if (stripped.size() > kLongestSpelling || spellings_.size() == kSpellings) {
    return;
  }
  Spelling spelling = SpellingOf(stripped);
  spelling.slot = slot;
  std::uint16_t& entry = spellingInBucket_[SpellingBucket(spelling)];
  if (entry == 0) {
    spellings_.push_back(spelling);
    entry = static_cast<std::uint16_t>(spellings_.size());
  }
}

std::uint32_t RuneTable::HashOf(std::string_view stripped) {
  // Hashes eight bytes at a time, each folded so that a letter and its upper case agree: ASCII
  // bytes lose bit 0x20, the others bits 0x10, 0x20 and 0x40 (š Š, ÿ Ÿ, à À). Bytes that fold
  // alike without being the same letter only share a bucket.
  constexpr std::uint64_t kHighBits = 0x8080808080808080u;
  constexpr std::uint64_t kAsciiFold = 0xDFDFDFDFDFDFDFDFu;
  const char* bytes = stripped.data();
  const std::size_t size = stripped.size();
  std::uint64_t hash = 0x9E3779B97F4A7C15u ^ size;
  const auto mix = [&hash](std::uint64_t word) {
    word &= kAsciiFold ^ ((word & kHighBits) >> 7) * 0x50;
    hash = (hash ^ word) * 0xFF51AFD7ED558CCDu;
    hash ^= hash >> 32;
  };
  if (size < 8) {
    std::uint64_t word = 0;
    for (std::size_t i = 0; i < size; ++i) {
      word |= std::uint64_t{static_cast<unsigned char>(bytes[i])} << (8 * i);
    }
    mix(word);
  } else {
    std::uint64_t word;
    for (std::size_t i = 0; i + 8 <= size; i += 8) {
      std::memcpy(&word, bytes + i, 8);
      mix(word);
    }
    if (size % 8 != 0) {
      std::memcpy(&word, bytes + size - 8, 8);  // the last eight, overlapping the word before
      mix(word);
    }
  }
  return static_cast<std::uint32_t>(hash);
}

std::size_t RuneTable::BucketOf(std::string_view stripped, std::uint32_t hash) const {
  for (std::size_t bucket = hash & (kBuckets - 1);; bucket = (bucket + 1) & (kBuckets - 1)) {
    const Int16 slot = slotInBucket_[bucket];
    if (slot == 0) {
      return bucket;
    }
    const auto index = static_cast<std::size_t>(slot - 1);
    if (hashes_[index] != hash || keys_[index].size() != stripped.size()) {
      continue;
    }
    // Most lines spell a rune as it was first met; only the others need upper-casing.
    if (Runes_[index].Name == stripped ||
        std::equal(stripped.begin(), stripped.end(), keys_[index].begin(),
                   [](char c, char k) { return UpperCase1252(c) == k; })) {
      return bucket;
    }
  }
}

Int16 RuneTable::SlotOf(std::string_view RuneName) const {
  const std::string_view stripped = StripSpaces(RuneName);
  if (const Int16 known = SlotOfSpelling(stripped)) {
    return known;
  }
  return slotInBucket_[BucketOf(stripped, HashOf(stripped))];
}

const RuneRecord* RuneTable::FindRune(std::string_view RuneName) const {
  const Int16 slot = SlotOf(RuneName);
  return slot == 0 ? nullptr : &Runes_[IndexOf(slot)];
}

bool RuneTable::AddRune(std::string_view RuneName) {
  const std::string_view stripped = StripSpaces(RuneName);
  if (SlotOfSpelling(stripped) != 0) {
    return true;
  }
  const std::uint32_t hash = HashOf(stripped);
  const std::size_t bucket = BucketOf(stripped, hash);
  if (slotInBucket_[bucket] != 0) {
    RememberSpelling(stripped, slotInBucket_[bucket]);
    return true;
  }
  if (RuneCount_ == kRuneSlots) {
    return false;
  }
  const Int16 slot = CheckedAdd(RuneCount_, 1);
  RuneRecord& record = Runes_[IndexOf(slot)];
  record.Used = kTrue;
  record.Name = stripped;
  std::string& key = keys_.emplace_back(stripped);
  for (char& c : key) {
    c = UpperCase1252(c);
  }
  hashes_.push_back(hash);
  slotInBucket_[bucket] = slot;
  RuneCount_ = slot;
  RememberSpelling(stripped, slot);
  return true;
}

std::string_view RuneTable::GetRune(std::string_view RuneName) const {
  const RuneRecord* record = FindRune(RuneName);
  return record == nullptr ? std::string_view{} : std::string_view{record->NewName};
}

std::size_t RuneTable::IndexOf(Int16 slot) {
  if (slot < 1 || slot > kRuneSlots) {
    throw std::out_of_range("rune slot " + std::to_string(slot));
  }
  return static_cast<std::size_t>(slot - 1);
}

const RuneRecord& RuneTable::Runes(Int16 slot) const {
  return Runes_[IndexOf(slot)];
}

void RuneTable::SetNewName(Int16 slot, std::string_view NewName) {
  Runes_[IndexOf(slot)].NewName = NewName;
}

}  // namespace sigilflip
