#include "run/sigilflipper.h"

#include <new>
#include <optional>
#include <string>
#include <unordered_map>

#include "facts/run_failure.h"
#include "files/file_io.h"
#include "run/passes.h"

namespace sigilflip {

namespace fs = std::filesystem;

RuneTable ShuffleRuneFile(const fs::path& directory, RandomSource& random,
                          const CodePage& codePage) {
  const fs::path inputPath = directory / kInputName;
  const fs::path outputPath = directory / kOutputName;
  InputFile input(inputPath);
  std::optional<ReplacementFile> output;
  RuneTable table = ShuffleRunes(
      input, random, [&]() -> ByteSink& { return output.emplace(outputPath, &input); },
      LineReader::kDefaultCapacity, codePage);
  output->Commit();
  return table;
}

std::vector<std::pair<std::string, std::string>> Update_List(const RuneTable& table) {
  std::vector<std::pair<std::string, std::string>> items;
  for (Int16 slot = 1; slot <= RuneTable::kRuneSlots; ++slot) {
    const RuneRecord& rune = table.Runes(slot);
    if (rune.Used == kFalse) {
      break;
    }
    items.emplace_back(rune.Name, rune.NewName);
  }
  return items;
}

std::vector<RuneWarning> Check(const RuneTable& table) {
  // How many slots, free ones included, carry each new name.
  std::unordered_map<std::string_view, Int16> uses;
  for (Int16 slot = 1; slot <= RuneTable::kRuneSlots; ++slot) {
    Int16& count = uses[table.Runes(slot).NewName];
    count = CheckedAdd(count, 1);
  }
  std::vector<RuneWarning> warnings;
  for (Int16 slot = 1; slot <= RuneTable::kRuneSlots; ++slot) {
    const RuneRecord& rune = table.Runes(slot);
    if (rune.Used == kFalse) {
      continue;
    }
    const auto found = uses.find(rune.Name);
    const Int16 count = found == uses.end() ? Int16{0} : found->second;
    if (count != 1) {
      warnings.push_back({count, rune.Name});
    }
  }
  return warnings;
}

RunReport ReportOf(RuneTable& table, const fs::path& input, const std::function<RuneTable()>& run) {
  RunReport report;
  try {
    table = run();
    report.list = Update_List(table);
    report.warnings = Check(table);
  } catch (const RunError& error) {
    report.failure = error.failure();
    if (report.failure->file.empty()) {
      report.failure->file = input;  // the source's, which the passes do not know
    }
  } catch (const std::bad_alloc&) {
    report.failure = RunFailure::OutOfMemory(input);
  } catch (const std::exception& error) {
    report.failure = RunFailure::Unexpected(error.what());
  }
  return report;
}

RunReport Sigilflipper(RuneTable& table, const fs::path& directory, RandomSource& random) {
  RunReport report = ReportOf(table, directory / kInputName,
                              [&] { return ShuffleRuneFile(directory, random, table.codePage()); });
  if (report.failure && report.failure->missing && report.failure->access == FileAccess::kRead &&
      native::KindOf(directory) == native::PathKind::kMissing) {
    report.failure = RunFailure::NoSuchFolder(directory);
  }
  return report;
}

}  // namespace sigilflip
