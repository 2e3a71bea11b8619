#include "game_folder.h"

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

}  // namespace

std::optional<fs::path> GameFolder(const std::vector<fs::path>& arguments,
                                   const fs::path& programFolder) {
  if (arguments.empty()) {
    return programFolder;
  }
  if (arguments.size() > 1 || IsOption(arguments[0].native())) {
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

}  // namespace sigilflip::form1
