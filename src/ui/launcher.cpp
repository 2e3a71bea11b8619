#include "launcher.h"

#include <string>

#include "form1_click.h"
#include "words/user_texts.h"

namespace sigilflip::form1 {

int Launch(const CommandLine& line, const Launcher& launcher) {
  Console& console = launcher.console;
  if (line.question != CommandLine::Question::kNone) {
    const std::string answer = line.question == CommandLine::Question::kHelp
                                   ? std::string(texts::kUsage)
                                   : "Sigilflip " + std::string(launcher.version);
    if (!launcher.hasConsole) {
      launcher.box(answer);
      return 0;
    }
    if (console.Out(answer)) {
      return 0;
    }
    console.Err("Sigilflip: write error: " + console.Failure());
    return kExitFailed;
  }
  if (!line.folder) {
    // On standard error, and in a box where there is a window and no --run.
    console.Err(texts::kUsage);
    if (!line.run && launcher.hasDisplay) {
      launcher.box(texts::kUsage);
    }
    return kExitCommandLine;
  }
  if (line.run) {
    return RunWithoutWindow(*line.folder, SeedsOf(line.seed)(), console);
  }
  if (!launcher.hasDisplay) {
    console.Err(texts::kNoDisplay);
    return kExitFailed;
  }
  return launcher.openWindow(line);
}

}  // namespace sigilflip::form1
