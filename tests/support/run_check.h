#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "run/random_source.h"
#include "text/rune_table.h"

namespace sigilflip::testing {

// What one run left behind.
struct RunOutcome {
  bool succeeded = false;
  std::vector<std::string> list;        // the items shown, UTF-8
  std::vector<std::string> warnings;    // UTF-8
  std::vector<std::string> errors;      // UTF-8
  std::optional<std::string> output;    // magic-new.ini, when there is one
  std::vector<std::string> strayFiles;  // anything else the run left in the folder
};

// Runs Sigilflipper on `folder` and collects what it showed and wrote.
RunOutcome RunIn(const std::filesystem::path& folder, RuneTable& table, RandomSource& random);

// Checks a run on `input` against the rules of the rune file, worked out here independently of
// the core's line reader: an error and no output, or an output of as many lines as the input with
// every other line unchanged, every rune line "RuneN=" and the same new name for every line of one
// rune, the new names a permutation of the names, and list and warnings that match the table.
// Returns what is wrong, or empty text.
std::string CheckRun(std::string_view input, const RunOutcome& outcome, const RuneTable& table);

}  // namespace sigilflip::testing
