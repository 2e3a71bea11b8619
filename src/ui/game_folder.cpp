#include "game_folder.h"

#include <system_error>

#include "sigilflipper.h"

namespace sigilflip::form1 {
namespace {

namespace fs = std::filesystem;

bool IsOption(const fs::path& argument) {
  const auto& text = argument.native();
#ifdef _WIN32
  if (text == L"/?") {
    return true;
  }
#endif
  return !text.empty() && text[0] == '-';
}

}  // namespace

std::optional<fs::path> GameFolder(const std::vector<fs::path>& arguments,
                                   const fs::path& programFolder) {
  if (arguments.empty()) {
    return programFolder;
  }
  if (arguments.size() > 1 || IsOption(arguments[0])) {
    return std::nullopt;
  }
  std::error_code error;
  fs::path given = fs::absolute(arguments[0], error);
  if (error) {
    given = arguments[0];
  }
  const fs::file_status status = fs::status(given, error);
  if (fs::is_directory(status)) {
    return given.lexically_normal();
  }
  if (fs::exists(status) || given.filename() == kInputName) {
    return given.lexically_normal().parent_path();
  }
  return given.lexically_normal();
}

}  // namespace sigilflip::form1
