#pragma once

#include <optional>
#include <string>
#include <vector>

#include "facts/run_failure.h"
#include "run/sigilflipper.h"
#include "text/code_page.h"

// The one place that makes what a run did into the texts that users read, for both windows: UTF-8,
// with the names read in the code page of the files.
namespace sigilflip {

struct RunTexts {
  std::optional<std::vector<std::string>> list;  // "Name => NewName"; none after a failure
  std::vector<std::string> warnings;             // each in a box of its own, in order
  std::optional<std::string> error;              // why the run failed
};

RunTexts TextsOf(const RunReport& report, const CodePage& codePage);
std::string TextOf(const RunFailure& failure, const CodePage& codePage);

}  // namespace sigilflip
