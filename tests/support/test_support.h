#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "files.h"
#include "recording_view.h"
#include "run/random_source.h"
#include "text/rune_table.h"

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

// Another user of a shared folder: ids without an account, which the kernel takes as they are.
struct User {
  unsigned uid;
  std::vector<unsigned> groups;  // the first is its own group
};
inline const User kPlayer = {4243, {4243, 4250}};

#ifndef _WIN32
// What `body` returns, run in a child process, so that what it changes of the process (its user,
// its view of the file systems) goes with it; a failure of the child in words.
std::string InChild(const std::function<std::string()>& body);
// In a child: unmounts /proc for this process alone, as in a container without it; throws
// std::runtime_error where that cannot be done.
void WithoutProc();
#endif
// What `body` returns, run by `user` (POSIX, from root, in a child process), or by this process.
#ifdef _WIN32
inline std::string PressedBy(const std::optional<User>&, const std::function<std::string()>& body) {
  return body();
}
#else
std::string PressedBy(const std::optional<User>& user, const std::function<std::string()>& body);
#endif

// "same", or where `actual` first differs from `expected`: their sizes, the offset and a few bytes
// of each from there. Long outputs compared so fail at once, in a line.
inline std::string Difference(std::string_view actual, std::string_view expected) {
  const auto at = static_cast<std::size_t>(
      std::mismatch(actual.begin(), actual.end(), expected.begin(), expected.end()).first -
      actual.begin());
  if (at == actual.size() && at == expected.size()) {
    return "same";
  }
  return std::to_string(actual.size()) + " bytes for " + std::to_string(expected.size()) +
         ", from " + std::to_string(at) + ": \"" + std::string(actual.substr(at, 16)) +
         "\" for \"" + std::string(expected.substr(at, 16)) + "\"";
}

// The texts, one string.
inline std::string Joined(const std::vector<std::string>& texts) {
  std::string joined;
  for (const std::string& text : texts) {
    joined += text + '\0';
  }
  return joined;
}

}  // namespace sigilflip::testing
