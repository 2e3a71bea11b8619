#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "files.h"
#include "random_source.h"
#include "recording_view.h"
#include "rune_table.h"

// What the core's GoogleTest suites share.
namespace sigilflip::testing {

// Hands out the draws it was given, in order; running out is a test failure.
class ScriptedRandom final : public RandomSource {
 public:
  explicit ScriptedRandom(std::vector<float> draws) : draws_(std::move(draws)) {}
  float Next() override {
    if (drawn_ >= draws_.size()) {
      ADD_FAILURE() << "more draws than scripted";
      return 0.0f;
    }
    return draws_[drawn_++];
  }
  std::size_t Drawn() const { return drawn_; }

 private:
  std::vector<float> draws_;
  std::size_t drawn_ = 0;
};

// The message of a run that cannot read or write `file`, for `reason` (the system's words or ours).
inline std::string CannotRead(const std::filesystem::path& file, std::string_view reason) {
  return "Cannot read " + file.string() + ":\n" + std::string(reason) + ".";
}
inline std::string CannotWrite(const std::filesystem::path& file, std::string_view reason) {
  return "Cannot write " + file.string() + ":\n" + std::string(reason) + ".";
}

// The message of what `call` throws as `Error`, or "no error" when it returns.
template <typename Error, typename Call>
std::string MessageOf(Call&& call) {
  try {
    call();
  } catch (const Error& error) {
    return error.what();
  }
  return "no error";
}

// The mapping of a table as "Name => NewName" items, in slot order (Windows-1252 bytes).
inline std::vector<std::string> Mapping(const RuneTable& table) {
  std::vector<std::string> items;
  for (Int16 slot = 1; slot <= table.RuneCount(); ++slot) {
    items.push_back(table.Runes(slot).Name + " => " + table.Runes(slot).NewName);
  }
  return items;
}

}  // namespace sigilflip::testing
