#include "rune_table.h"

#include <stdexcept>

#include "windows1252.h"

namespace sigilflip {

std::string_view StripSpaces(std::string_view name) {
  const auto first = name.find_first_not_of(' ');
  if (first == std::string_view::npos) {
    return {};
  }
  return name.substr(first, name.find_last_not_of(' ') - first + 1);
}

RuneTable::RuneTable() : Runes_(kRuneSlots) {}

void RuneTable::Reset() {
  for (RuneRecord& slot : Runes_) {
    slot = RuneRecord{};
  }
  RuneCount_ = 0;
  slotByKey_.clear();
}

const std::string& RuneTable::KeyOf(std::string_view name) const {
  const std::string_view stripped = StripSpaces(name);
  key_.resize(stripped.size());
  for (std::size_t i = 0; i < stripped.size(); ++i) {
    key_[i] = UpperCase1252(stripped[i]);
  }
  return key_;
}

const RuneRecord* RuneTable::FindRune(std::string_view name) const {
  const auto found = slotByKey_.find(KeyOf(name));
  return found == slotByKey_.end() ? nullptr : &Runes(found->second);
}

bool RuneTable::AddRune(std::string_view RuneName) {
  if (FindRune(RuneName) != nullptr) {
    return true;
  }
  if (RuneCount_ == kRuneSlots) {
    return false;
  }
  const Int16 slot = CheckedAdd(RuneCount_, 1);
  RuneRecord& record = Runes_[IndexOf(slot)];
  record.Used = kTrue;
  record.Name = StripSpaces(RuneName);
  slotByKey_.emplace(KeyOf(RuneName), slot);
  RuneCount_ = slot;
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
