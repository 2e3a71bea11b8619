#include "command_line.h"

#include <limits>

#include "files/native_file.h"
#include "run/sigilflipper.h"

namespace sigilflip::form1 {
namespace {

namespace fs = std::filesystem;

using Text = fs::path::string_type;

bool IsOption(const Text& argument) {
#ifdef _WIN32
  if (argument == L"/?") {
    return true;
  }
#endif
  return argument.empty() || argument[0] == '-';
}

// The argument as the user meant it. On Windows, `"C:\Game\"` reaches the program as `C:\Game"`
// (a backslash before a quote escapes it), and no Windows path holds a quote.
Text Unquoted(Text argument) {
#ifdef _WIN32
  if (argument.ends_with(L'"')) {
    argument.pop_back();
  }
#endif
  return argument;
}

// Without separators at its end, but for a root's (`/`, `C:\`).
fs::path WithoutEndSeparators(fs::path folder) {
  Text text = folder.native();
  while (text.size() > 1 && fs::path::preferred_separator == text.back() &&
         text[text.size() - 2] != ':') {
    text.pop_back();
  }
  return text;
}

// The seed that `text` writes in decimal digits alone, if it is one.
std::optional<Seed> SeedIn(const Text& text) {
  std::uint64_t seed = 0;
  for (const auto digit : text) {
    if (digit < '0' || digit > '9') {
      return std::nullopt;
    }
    seed = seed * 10 + static_cast<std::uint64_t>(digit - '0');
    if (seed > std::numeric_limits<Seed>::max()) {
      return std::nullopt;
    }
  }
  return text.empty() ? std::nullopt : std::optional<Seed>(static_cast<Seed>(seed));
}

// The folder of the magic.ini named by `arguments`, those that are not options (CommandLine).
std::optional<fs::path> GameFolder(const std::vector<fs::path>& arguments,
                                   const fs::path& programFolder) {
  if (arguments.empty()) {
    return programFolder;
  }
  if (arguments.size() > 1 || arguments[0].empty()) {
    return std::nullopt;
  }
  const fs::path given = WithoutEndSeparators(native::FullPath(Unquoted(arguments[0].native())));
  switch (native::KindOf(given)) {
    case native::PathKind::kFolder:
      return given;
    case native::PathKind::kOther:
      return given.parent_path();
    case native::PathKind::kMissing:
      break;
  }
  return given.filename() == kInputName ? given.parent_path() : given;
}

// The question that a command line of `argument` alone asks, if any.
CommandLine::Question QuestionOf(const Text& argument) {
  using enum CommandLine::Question;
  // "/?" is an option on Windows only.
  if (argument == fs::path("--help").native() || argument == fs::path("-h").native() ||
      (argument == fs::path("/?").native() && IsOption(argument))) {
    return kHelp;
  }
  return argument == fs::path("--version").native() ? kVersion : kNone;
}

}  // namespace

CommandLine ReadCommandLine(const std::vector<fs::path>& arguments, const fs::path& programFolder) {
  CommandLine line;
  if (arguments.size() == 1) {
    line.question = QuestionOf(arguments[0].native());
    if (line.question != CommandLine::Question::kNone) {
      return line;
    }
  }
  static const Text kRun = fs::path("--run").native();
  static const Text kSeed = fs::path("--seed").native();
  static const Text kSeedIs = fs::path("--seed=").native();
  static const Text kEnd = fs::path("--").native();
  std::vector<fs::path> folders;
  bool known = true;
  bool options = true;
  for (auto argument = arguments.begin(); argument != arguments.end(); ++argument) {
    const Text& text = argument->native();
    if (!options || !IsOption(text)) {
      folders.push_back(*argument);
    } else if (text == kEnd) {
      options = false;
    } else if (text == kRun) {
      known = known && !line.run;
      line.run = true;
    } else if (text == kSeed || text.starts_with(kSeedIs)) {
      std::optional<Seed> seed;
      if (text != kSeed) {
        seed = SeedIn(text.substr(kSeedIs.size()));
      } else if (std::next(argument) != arguments.end()) {
        seed = SeedIn((++argument)->native());
      }
      known = known && seed && !line.seed;
      line.seed = seed;
    } else {
      known = false;
    }
  }
  if (known) {
    line.folder = GameFolder(folders, programFolder);
  }
  return line;
}

}  // namespace sigilflip::form1
