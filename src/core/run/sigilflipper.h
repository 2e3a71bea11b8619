#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "facts/run_failure.h"
#include "run/random_source.h"
#include "text/rune_table.h"

namespace sigilflip {

inline constexpr const char* kInputName = "magic.ini";
inline constexpr const char* kOutputName = "magic-new.ini";

// A rune whose name is the new name of `count` slots, not of exactly one.
struct RuneWarning {
  Int16 count = 0;
  std::string name;
};

// What a run did, as facts: the mapping to list and the warnings of the check, or why it failed.
// Names are bytes in the table's code page; the window words it all (run_texts.h).
struct RunReport {
  std::vector<std::pair<std::string, std::string>> list;  // each rune's Name and NewName
  std::vector<RuneWarning> warnings;
  std::optional<RunFailure> failure;

  bool succeeded() const { return !failure.has_value(); }
};

// One run on the folder `directory`, whose files are in the table's code page: reads magic.ini
// twice, writes magic-new.ini, then lists the mapping and checks it. A run that fails while
// reading or writing leaves the table and magic-new.ini as they were, and reports no list.
RunReport Sigilflipper(RuneTable& table, const std::filesystem::path& directory,
                       RandomSource& random);

// The report of `run`, which makes the run's table or throws: the list and the warnings of the
// table it makes, which then replaces `table`; or its failure as facts, a RunError's, running out
// of memory while shuffling `input`, or any other exception as a fault of Sigilflip's own.
RunReport ReportOf(RuneTable& table, const std::filesystem::path& input,
                   const std::function<RuneTable()>& run);

// Reads, scrambles and writes, into a table of its own whose names are in `codePage`; throws
// RunError when the run cannot be completed, leaving magic-new.ini as it was.
RuneTable ShuffleRuneFile(const std::filesystem::path& directory, RandomSource& random,
                          const CodePage& codePage = CodePage::Get(1252));

// The list's items: each rune's Name and NewName, in slot order.
std::vector<std::pair<std::string, std::string>> Update_List(const RuneTable& table);

// A warning for each rune whose Name is not exactly the NewName of one slot, in slot order.
std::vector<RuneWarning> Check(const RuneTable& table);

}  // namespace sigilflip
