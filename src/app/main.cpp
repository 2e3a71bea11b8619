#include <QApplication>
#include <QIcon>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "form1.h"
#include "game_folder.h"
#include "message_boxes.h"
#include "version.h"
#include "words/user_texts.h"

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

// Prints `text` on `stream` and returns `status`; or 1, with the reason on standard error, when it
// could not be written (a full disk, a closed pipe), as the system's own tools do.
int Print(std::FILE* stream, const std::string& text, int status) {
  std::fprintf(stream, "%s\n", text.c_str());
  if (std::fflush(stream) != 0 || std::ferror(stream) != 0) {
    std::fprintf(stderr, "Sigilflip: write error: %s\n", std::strerror(errno));
    return 1;
  }
  return status;
}

}  // namespace

int main(int argc, char* argv[]) {
  // What a terminal asks of any program, answered there, with or without a display.
  const std::string_view only = argc == 2 ? argv[1] : "";
  if (only == "--help" || only == "-h") {
    return Print(stdout, sigilflip::texts::kUsage, 0);
  }
  if (only == "--version") {
    return Print(stdout, std::string("Sigilflip ") + SIGILFLIP_VERSION, 0);
  }
  // Without a display Qt would abort: arguments Sigilflip does not know (Qt's own options are
  // not looked at yet) get the usage, the others the reason there is no window.
  if (!HasDisplay()) {
    const std::vector<std::filesystem::path> arguments(argv + 1, argv + argc);
    return sigilflip::form1::GameFolder(arguments, {})
               ? Print(stderr, sigilflip::texts::kNoDisplay, 1)
               : Print(stderr, sigilflip::texts::kUsage, 2);
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
