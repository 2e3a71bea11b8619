#pragma once

#include <filesystem>

#include "random_source.h"
#include "rune_table.h"
#include "rune_view.h"

namespace sigilflip {

inline constexpr const char* kInputName = "magic.ini";
inline constexpr const char* kOutputName = "magic-new.ini";

// One run on the folder `directory`, whose files are in the table's code page: reads magic.ini
// twice, writes magic-new.ini, then shows the mapping and warns about every name not used exactly
// once. Returns false when the run failed, after the view has shown why; a run that fails while
// reading or writing leaves the table, the list and magic-new.ini as they were.
bool Sigilflipper(RuneTable& table, const std::filesystem::path& directory, RandomSource& random,
                  RuneView& view);

// Reads, scrambles and writes, into a table of its own whose names are in `codePage`; throws
// RunError when the run cannot be completed, leaving magic-new.ini as it was.
RuneTable ShuffleRuneFile(const std::filesystem::path& directory, RandomSource& random,
                          const CodePage& codePage = CodePage::Get(1252));

// Refills the list with "Name => NewName" for each rune, in slot order.
void Update_List(const RuneTable& table, RuneView& view);

// Warns about each rune whose Name is not exactly the NewName of one slot, in slot order.
void Check(const RuneTable& table, RuneView& view);

}  // namespace sigilflip
