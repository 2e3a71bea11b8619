#include "run_without_window.h"

#include "form1_click.h"
#include "words/user_texts.h"

namespace sigilflip::form1 {

int RunWithoutWindow(const std::filesystem::path& directory, Seed seed, Console& console) {
  bool printed = console.Err("Seed: " + std::to_string(seed));
  RuneTable table(CodePage::System());
  const RunTexts run = RunInWords(table, directory, seed);
  if (run.error) {
    console.Err(*run.error);
    return kExitFailed;
  }
  for (const std::string& item : *run.list) {
    printed = console.Out(item) && printed;
  }
  for (const std::string& warning : run.warnings) {
    printed = console.Err(warning) && printed;
  }
  if (printed) {
    return kExitWritten;
  }
  console.Err(texts::NotPrinted(console.Failure()));
  return kExitNotPrinted;
}

}  // namespace sigilflip::form1
