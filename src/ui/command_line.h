#pragma once

#include <filesystem>
#include <optional>
#include <vector>

#include "run/random_source.h"

// What Sigilflip is started with: `Sigilflip [--run] [--seed N] [FOLDER | FILE]`, the options in
// any order. Standard C++, shared by both front ends.
namespace sigilflip::form1 {

struct CommandLine {
  // What a command line of one argument asks instead of a run: --help or -h (on Windows also /?),
  // how to start the program; --version, its version.
  enum class Question { kNone, kHelp, kVersion };
  Question question = Question::kNone;
  bool run = false;          // --run: one run without a window
  std::optional<Seed> seed;  // --seed N: every run with N instead of the time of day
  // The folder of the magic.ini to work on, from the arguments that are not options: none, the
  // program's own folder; a folder; a file, the folder that holds it. Paths are settled by the
  // platform's rules (relative ones from the current folder; Windows network and \\?\ paths as
  // Windows takes them). A path that does not exist is taken for a folder (or, named magic.ini,
  // for the file in its folder), so that the first run says which magic.ini is missing.
  // Nothing, when the arguments are not ones Sigilflip knows (an option it does not know, a seed
  // that is no whole number from 0 to 4294967295, an option twice, an empty argument, more than
  // one folder), or a question: the program then answers it, or says how to start it. `run` holds
  // even then, so that a script is told in words, not in a box.
  std::optional<std::filesystem::path> folder;
};

// The command line of the arguments after the program's name, settled once at start. "--" ends
// the options, so that a folder whose name starts with "-" can be given.
CommandLine ReadCommandLine(const std::vector<std::filesystem::path>& arguments,
                            const std::filesystem::path& programFolder);

}  // namespace sigilflip::form1
