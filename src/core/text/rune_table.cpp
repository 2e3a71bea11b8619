#include "text/rune_table.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <stdexcept>
#include <utility>

namespace sigilflip {

RuneTable::RuneTable(const CodePage& codePage)
    : codePage_(&codePage), Runes_(kRuneSlots), spellingInBucket_(kSpellingBuckets) {}

void RuneTable::Reset() {
  for (RuneRecord& slot : Runes_) {
    slot = RuneRecord{};
  }
  RuneCount_ = 0;
  slotInBucket_.fill(0);
  slotOfName_.fill(0);
  keys_.clear();
  hashes_.clear();
  spellings_.clear();
  std::fill(spellingInBucket_.begin(), spellingInBucket_.end(), std::uint16_t{0});
}

namespace {

// A copy of a name of up to kNameReadAhead bytes, zero past it, as a BufferedName.
class PaddedCopy {
 public:
  explicit PaddedCopy(std::string_view name) {
    std::memcpy(bytes_.data(), name.data(), name.size());
    name_ = {{bytes_.data(), name.size()}};
  }
  BufferedName name() const { return name_; }

 private:
  std::array<char, kNameReadAhead> bytes_{};
  BufferedName name_;
};

}  // namespace

void RuneTable::RememberSpelling(BufferedName name, Int16 slot) {
  if (name.text.size() > kLongestSpelling || spellings_.size() == kSpellings) {
    return;
  }
  Spelling spelling = SpellingOf(name);
  spelling.slot = slot;
  std::uint16_t& entry = spellingInBucket_[SpellingBucket(spelling)];
  if (entry == 0) {
    spellings_.push_back(spelling);
    entry = static_cast<std::uint16_t>(spellings_.size());
  }
}

namespace {

// Hashes eight bytes at a time, each folded so that a letter and its upper case agree where the
// code page places them so (CodePage::foldsByBits): ASCII bytes lose bit 0x20, the others bits
// 0x10, 0x20 and 0x40 (š Š, ÿ Ÿ, à À in Windows-1252). Bytes that fold alike without being the
// same letter only share a bucket.
std::uint32_t HashFolded(std::string_view bytes) {
  constexpr std::uint64_t kHighBits = 0x8080808080808080u;
  constexpr std::uint64_t kAsciiFold = 0xDFDFDFDFDFDFDFDFu;
  const std::size_t size = bytes.size();
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
      std::memcpy(&word, bytes.data() + i, 8);
      mix(word);
    }
    if (size % 8 != 0) {
      // The last eight, overlapping the word before.
      std::memcpy(&word, bytes.data() + size - 8, 8);
      mix(word);
    }
  }
  return static_cast<std::uint32_t>(hash);
}

}  // namespace

std::uint32_t RuneTable::HashOf(std::string_view stripped, const std::string& wholeKey) const {
  // Where the bits do not fold a letter and its upper case alike, the hash takes the key.
  if (!codePage_->singleByte()) {
    return HashFolded(wholeKey);
  }
  return codePage_->foldsByBits() ? HashFolded(stripped) : HashFolded(codePage_->Key(stripped));
}

std::size_t RuneTable::BucketOf(std::string_view stripped, const std::string& wholeKey,
                                std::uint32_t hash) const {
  for (std::size_t bucket = hash & (kBuckets - 1);; bucket = (bucket + 1) & (kBuckets - 1)) {
    const Int16 slot = slotInBucket_[bucket];
    if (slot == 0) {
      return bucket;
    }
    const auto index = static_cast<std::size_t>(slot - 1);
    if (hashes_[index] != hash) {
      continue;
    }
    // Most lines spell a rune as it was first met; only the others need upper-casing.
    if (Runes_[index].Name == stripped) {
      return bucket;
    }
    const std::string& other = keys_[index];
    const bool same =
        codePage_->singleByte()
            ? other.size() == stripped.size() &&
                  std::equal(stripped.begin(), stripped.end(), other.begin(),
                             [this](char c, char k) { return codePage_->Fold(c) == k; })
            : wholeKey == other;
    if (same) {
      return bucket;
    }
  }
}

std::size_t RuneTable::NameBucket(std::string_view stripped) const {
  for (std::size_t bucket = HashFolded(stripped) & (kBuckets - 1);;
       bucket = (bucket + 1) & (kBuckets - 1)) {
    const Int16 slot = slotOfName_[bucket];
    if (slot == 0 || Runes_[static_cast<std::size_t>(slot - 1)].Name == stripped) {
      return bucket;
    }
  }
}

Int16 RuneTable::SlotOfStripped(std::string_view stripped) const {
  if (keyed()) {
    if (const Int16 slot = slotOfName_[NameBucket(stripped)]; slot != 0) {
      return slot;
    }
  }
  const std::string wholeKey = WholeKey(stripped);
  return slotInBucket_[BucketOf(stripped, wholeKey, HashOf(stripped, wholeKey))];
}

Int16 RuneTable::SlotOf(std::string_view RuneName) const {
  if (RuneName.size() <= kLongestSpelling) {
    return SlotOf(PaddedCopy(RuneName).name());
  }
  return SlotOfStripped(StripSpaces(RuneName));
}

const RuneRecord* RuneTable::FindRune(std::string_view RuneName) const {
  const Int16 slot = SlotOf(RuneName);
  return slot == 0 ? nullptr : &Runes_[IndexOf(slot)];
}

Int16 RuneTable::SlotAfterAdding(std::string_view RuneName) {
  if (RuneName.size() <= kLongestSpelling) {
    return SlotAfterAdding(PaddedCopy(RuneName).name());
  }
  return AddStripped(StripSpaces(RuneName), {RuneName});
}

Int16 RuneTable::AddStripped(std::string_view stripped, BufferedName spelling) {
  const std::size_t nameBucket = keyed() ? NameBucket(stripped) : 0;
  if (keyed() && slotOfName_[nameBucket] != 0) {
    RememberSpelling(spelling, slotOfName_[nameBucket]);
    return slotOfName_[nameBucket];
  }
  std::string wholeKey = WholeKey(stripped);
  const std::uint32_t hash = HashOf(stripped, wholeKey);
  const std::size_t bucket = BucketOf(stripped, wholeKey, hash);
  if (slotInBucket_[bucket] != 0) {
    RememberSpelling(spelling, slotInBucket_[bucket]);
    return slotInBucket_[bucket];
  }
  if (RuneCount_ == kRuneSlots) {
    return 0;
  }
  const Int16 slot = CheckedAdd(RuneCount_, 1);
  RuneRecord& record = Runes_[IndexOf(slot)];
  record.Used = kTrue;
  record.Name = stripped;
  keys_.push_back(codePage_->singleByte() ? codePage_->Key(stripped) : std::move(wholeKey));
  hashes_.push_back(hash);
  slotInBucket_[bucket] = slot;
  if (keyed()) {
    slotOfName_[nameBucket] = slot;
  }
  RuneCount_ = slot;
  RememberSpelling(spelling, slot);
  return slot;
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
