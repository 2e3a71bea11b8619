// One whole run on a generated magic.ini, for counting instructions with callgrind:
//   one_run FOLDER BYTES RUNES   writes FOLDER/magic.ini once (if missing), then runs on it
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "magic_generator.h"
#include "random_source.h"
#include "rune_view.h"
#include "sigilflipper.h"

namespace {

class QuietView final : public sigilflip::RuneView {
 public:
  void ShowList(const std::vector<std::string>&) override {}
  void ShowWarning(std::string_view) override {}
  void ShowError(std::string_view message) override { error = message; }
  std::string error;
};

}  // namespace

int main(int argc, char* argv[]) {
  if (argc != 4) {
    std::fputs("usage: one_run FOLDER BYTES RUNES\n", stderr);
    return 2;
  }
  const std::filesystem::path folder = argv[1];
  if (!std::filesystem::exists(folder / sigilflip::kInputName)) {
    std::filesystem::create_directories(folder);
    sigilflip::bench::GenerateMagicIni(folder / sigilflip::kInputName,
                                       std::strtoull(argv[2], nullptr, 10), std::atoi(argv[3]));
  }
  sigilflip::RuneTable table;
  sigilflip::SeededRandom random(43210.5f);
  QuietView view;
  if (!sigilflip::Sigilflipper(table, folder, random, view)) {
    std::fprintf(stderr, "%s\n", view.error.c_str());
    return 1;
  }
  return 0;
}
