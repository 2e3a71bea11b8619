#include "sigilflipper.h"

#include <new>
#include <optional>
#include <string>
#include <unordered_map>

#include "file_io.h"
#include "run_error.h"
#include "rune_file.h"
#include "user_texts.h"

namespace sigilflip {

namespace fs = std::filesystem;

namespace {

// magic.ini, opened; where there is none, the message says how to hand Sigilflip the game's.
InputFile OpenInput(const fs::path& path) {
  try {
    return InputFile(path);
  } catch (const RunError& error) {
    bool missing = false;
    try {
      missing = native::KindOf(native::MatchingName(path)) == native::PathKind::kMissing;
    } catch (const native::SystemError&) {
      // several files of that name: the message says so
    }
    if (missing) {
      throw RunError(error.what() + std::string("\n\n") + texts::kWhereTheGameIs);
    }
    throw;
  }
}

}  // namespace

RuneTable ShuffleRuneFile(const fs::path& directory, RandomSource& random,
                          const CodePage& codePage) {
  const fs::path inputPath = directory / kInputName;
  const fs::path outputPath = directory / kOutputName;
  InputFile input = OpenInput(inputPath);
  std::optional<ReplacementFile> output;
  RuneTable table = ShuffleRunes(
      input, random, [&]() -> ByteSink& { return output.emplace(outputPath, &input); },
      DisplayPath(inputPath), LineReader::kDefaultCapacity, codePage);
  output->Commit();
  return table;
}

void Update_List(const RuneTable& table, RuneView& view) {
  std::vector<std::string> items;
  for (Int16 slot = 1; slot <= RuneTable::kRuneSlots; ++slot) {
    const RuneRecord& rune = table.Runes(slot);
    if (rune.Used == kFalse) {
      break;
    }
    items.push_back(table.codePage().ToUtf8(rune.Name + " => " + rune.NewName));
  }
  view.ShowList(items);
}

void Check(const RuneTable& table, RuneView& view) {
  // How many slots, free ones included, carry each new name.
  std::unordered_map<std::string_view, Int16> uses;
  for (Int16 slot = 1; slot <= RuneTable::kRuneSlots; ++slot) {
    Int16& count = uses[table.Runes(slot).NewName];
    count = CheckedAdd(count, 1);
  }
  for (Int16 slot = 1; slot <= RuneTable::kRuneSlots; ++slot) {
    const RuneRecord& rune = table.Runes(slot);
    if (rune.Used == kFalse) {
      continue;
    }
    const auto found = uses.find(rune.Name);
    const Int16 count = found == uses.end() ? Int16{0} : found->second;
    if (count != 1) {
      view.ShowWarning(texts::RuneError(count, table.codePage().ToUtf8(rune.Name)));
    }
  }
}

bool Sigilflipper(RuneTable& table, const fs::path& directory, RandomSource& random,
                  RuneView& view) {
  try {
    table = ShuffleRuneFile(directory, random, table.codePage());
    Update_List(table, view);
    Check(table, view);
    return true;
  } catch (const std::bad_alloc&) {
    view.ShowError(texts::OutOfMemory(DisplayPath(directory / kInputName)));
  } catch (const std::exception& error) {
    view.ShowError(error.what());
  }
  return false;
}

}  // namespace sigilflip
