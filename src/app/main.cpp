#include <QApplication>
#include <QIcon>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <vector>

#include "form1.h"
#include "game_folder.h"
#include "message_boxes.h"
#include "user_texts.h"
#include "version.h"

namespace {

// Whether Qt has a display to show windows on; without one it would end the program.
bool HasDisplay() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') {
      return true;
    }
  }
  return false;
}

}  // namespace

int main(int argc, char* argv[]) {
  // What a terminal asks of any program, answered there, with or without a display.
  const std::string_view only = argc == 2 ? argv[1] : "";
  if (only == "--help" || only == "-h") {
    std::printf("%s\n", sigilflip::texts::kUsage);
    return 0;
  }
  if (only == "--version") {
    std::printf("Sigilflip %s\n", SIGILFLIP_VERSION);
    return 0;
  }
  // Arguments Sigilflip does not know, as Qt's own options are not looked at yet.
  const auto unknown = [&] {
    const std::vector<std::filesystem::path> arguments(argv + 1, argv + argc);
    return !sigilflip::form1::GameFolder(arguments, {}).has_value();
  };
  if (!HasDisplay() && unknown()) {
    std::fprintf(stderr, "%s\n", sigilflip::texts::kUsage);
    return 2;
  }

  QApplication app(argc, argv);  // takes Qt's own options out of argv
  QApplication::setApplicationName("Sigilflip");
  QApplication::setApplicationVersion(SIGILFLIP_VERSION);
  QApplication::setWindowIcon(QIcon(":/sigilflip.png"));

  // magic.ini lies in the folder handed to the program, else beside the program, wherever it is
  // started from; Qt resolves links to it. The arguments are taken as the bytes they are.
  const std::vector<std::filesystem::path> arguments(argv + 1, argv + argc);
  const auto folder = sigilflip::form1::GameFolder(
      arguments, std::filesystem::path(QCoreApplication::applicationDirPath().toStdU16String()));
  if (!folder) {
    std::fprintf(stderr, "%s\n", sigilflip::texts::kUsage);
    ModalMessageBoxes(nullptr).Usage(sigilflip::texts::kUsage);
    return 2;
  }
  Form1 form(*folder);
  form.show();
  return app.exec();
}
