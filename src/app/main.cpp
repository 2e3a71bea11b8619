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

#include "command_line.h"
#include "form1.h"
#include "form1_click.h"
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

// Writes `line` on `stream`; false, with the reason on standard error, when it could not be
// written (a full disk, a closed pipe), as the system's own tools say.
bool WriteLine(std::FILE* stream, std::string_view line) {
  std::fwrite(line.data(), 1, line.size(), stream);
  std::fputc('\n', stream);
  if (std::fflush(stream) != 0 || std::ferror(stream) != 0) {
    std::fprintf(stderr, "Sigilflip: write error: %s\n", std::strerror(errno));
    return false;
  }
  return true;
}

// Prints `text` on `stream` and returns `status`; or 1 when it could not be written.
int Print(std::FILE* stream, std::string_view text, int status) {
  return WriteLine(stream, text) ? status : sigilflip::form1::kExitFailed;
}

// Where --run writes: standard output and standard error, as they were given.
class StandardStreams final : public sigilflip::form1::Console {
 public:
  bool Out(std::string_view line) override { return WriteLine(stdout, line); }
  bool Err(std::string_view line) override { return WriteLine(stderr, line); }
};

// The folder of the running program, as Qt would find it (applicationDirPath), without Qt:
// --run starts none.
std::filesystem::path ProgramFolder(const char* programName) {
  std::error_code error;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::filesystem::absolute(programName).parent_path() : program.parent_path();
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
  // A run without a window needs no display, and Qt is not started: its options are not known.
  // Without a display Qt would abort: arguments Sigilflip does not know get the usage, the others
  // the reason there is no window.
  using sigilflip::form1::kExitCommandLine;
  const auto line = sigilflip::form1::ReadCommandLine(
      std::vector<std::filesystem::path>(argv + 1, argv + argc), ProgramFolder(argv[0]));
  if (line.run || !HasDisplay()) {
    if (!line.folder) {
      return Print(stderr, sigilflip::texts::kUsage, kExitCommandLine);
    }
    StandardStreams streams;
    return line.run ? sigilflip::form1::RunWithoutWindow(
                          *line.folder, sigilflip::form1::SeedsOf(line.seed)(), streams)
                    : Print(stderr, sigilflip::texts::kNoDisplay, sigilflip::form1::kExitFailed);
  }

  QApplication app(argc, argv);  // takes Qt's own options out of argv
  QApplication::setApplicationName("Sigilflip");
  QApplication::setApplicationVersion(SIGILFLIP_VERSION);
  QApplication::setWindowIcon(QIcon(":/sigilflip.png"));

  // magic.ini lies in the folder handed to the program, else beside the program, wherever it is
  // started from (links to it resolved). The arguments are taken as the bytes they are; only where
  // they were not known before are they read again, without the options that Qt took.
  const auto window = line.folder ? line
                                  : sigilflip::form1::ReadCommandLine(
                                        std::vector<std::filesystem::path>(argv + 1, argv + argc),
                                        ProgramFolder(argv[0]));
  if (!window.folder) {
    std::fprintf(stderr, "%s\n", sigilflip::texts::kUsage);
    ModalMessageBoxes(nullptr).Usage(sigilflip::texts::kUsage);
    return kExitCommandLine;
  }
  Form1 form(*window.folder, nullptr, sigilflip::form1::SeedsOf(window.seed));
  form.show();
  return app.exec();
}
