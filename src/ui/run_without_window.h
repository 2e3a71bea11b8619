#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "run/random_source.h"

// The run without a window (`Sigilflip --run`), where it writes, and the exit statuses of the
// program. Standard C++, shared by both front ends.
namespace sigilflip::form1 {

// Where a run without a window writes: texts of UTF-8, each given without its last line end.
class Console {
 public:
  virtual ~Console() = default;
  // Standard output and standard error; false when the text could not be written.
  virtual bool Out(std::string_view text) = 0;
  virtual bool Err(std::string_view text) = 0;
  // Why the first text that could not be written failed, in the system's words.
  virtual std::string Failure() const = 0;
};

// The exit statuses of the program.
inline constexpr int kExitWritten = 0;      // magic-new.ini written, with warnings or without
inline constexpr int kExitFailed = 1;       // nothing written: the run failed
inline constexpr int kExitCommandLine = 2;  // arguments that Sigilflip does not know
// magic-new.ini written, but not all of its lines printed
inline constexpr int kExitNotPrinted = 3;

// One run on magic.ini in `directory`, as a press does, without a window (`Sigilflip --run`):
// "Seed: N" on standard error first, so that the run can be repeated; then the mapping items on
// standard output and the check's warnings on standard error, and kExitWritten; or why the run
// failed on standard error, and kExitFailed. Where any of its lines could not be printed, once
// magic-new.ini is written, one line on standard error says why, and it ends with
// kExitNotPrinted. The names are read in the system's code page, as the window reads them.
int RunWithoutWindow(const std::filesystem::path& directory, Seed seed, Console& console);

}  // namespace sigilflip::form1
