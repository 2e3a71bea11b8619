// One whole run on a generated magic.ini, for counting instructions with callgrind:
//   one_run FOLDER BYTES RUNES   writes FOLDER/magic.ini once (if missing), then runs on it
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "magic_generator.h"
#include "run/random_source.h"
#include "run/sigilflipper.h"
#include "words/run_texts.h"

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
  sigilflip::SeededRandom random(sigilflip::SeedOf(43210.5f));
  // The run and its texts, as the window has them.
  const sigilflip::RunTexts texts = sigilflip::TextsOf(
      sigilflip::Sigilflipper(table, folder, random), sigilflip::CodePage::Get(1252));
  if (texts.error) {
    std::fprintf(stderr, "%s\n", texts.error->c_str());
    return 1;
  }
  return 0;
}
