#include <fcntl.h>

#include <QApplication>
#include <QIcon>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "form1.h"
#include "form1_click.h"
#include "launcher.h"
#include "message_boxes.h"
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

// Where the program writes without a window: standard output and standard error, as they were
// given. A text that cannot be written (a full disk, a closed pipe) is remembered with its reason.
class StandardStreams final : public sigilflip::form1::Console {
 public:
  bool Out(std::string_view text) override { return Write(stdout, text); }
  bool Err(std::string_view text) override { return Write(stderr, text); }
  std::string Failure() const override { return failure_; }

 private:
  bool Write(std::FILE* stream, std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fputc('\n', stream);
    if (std::fflush(stream) == 0 && std::ferror(stream) == 0) {
      return true;
    }
    if (failure_.empty()) {
      failure_ = std::strerror(errno);
    }
    std::clearerr(stream);
    return false;
  }

  std::string failure_;
};

// A standard stream that was closed (>&-) is opened on /dev/null for reading, so that no file the
// run opens takes its number: what is written to it then fails, as to a closed stream.
void KeepStandardStreamNumbers() {
  for (int stream = 0; stream <= 2; ++stream) {
    if (fcntl(stream, F_GETFD) == -1 && errno == EBADF) {
      open("/dev/null", O_RDONLY);  // the lowest free number: this one
    }
  }
}

// The folder of the running program, as Qt would find it (applicationDirPath), without Qt:
// --run starts none.
std::filesystem::path ProgramFolder(const char* programName) {
  std::error_code error;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::filesystem::absolute(programName).parent_path() : program.parent_path();
}

}  // namespace

int main(int argc, char* argv[]) {
  KeepStandardStreamNumbers();
  // magic.ini lies in the folder handed to the program, else beside the program, wherever it is
  // started from (links to it resolved). The arguments are taken as the bytes they are.
  const auto arguments = [&] { return std::vector<std::filesystem::path>(argv + 1, argv + argc); };
  auto line = sigilflip::form1::ReadCommandLine(arguments(), ProgramFolder(argv[0]));
  // Qt is started only for a window (without a display it would end the program); it takes its
  // own options out of argv first, and only where the arguments were not known are they read
  // again without them.
  using sigilflip::form1::CommandLine;
  const bool display = HasDisplay();
  std::optional<QApplication> app;
  if (display && !line.run && line.question == CommandLine::Question::kNone) {
    app.emplace(argc, argv);
    QApplication::setApplicationName("Sigilflip");
    QApplication::setApplicationVersion(SIGILFLIP_VERSION);
    QApplication::setWindowIcon(QIcon(":/sigilflip.png"));
    if (!line.folder) {
      line = sigilflip::form1::ReadCommandLine(arguments(), ProgramFolder(argv[0]));
    }
  }
  // A reader that went away (`Sigilflip --run | head -n 1`) is a line not printed, with its exit
  // status, not a signal that ends the program.
  std::signal(SIGPIPE, SIG_IGN);
  StandardStreams streams;
  return sigilflip::form1::Launch(
      line, {.console = streams,
             .hasConsole = true,
             .hasDisplay = display,
             .version = SIGILFLIP_VERSION,
             .box = [](std::string_view text) { ModalMessageBoxes(nullptr).Usage(text); },
             .openWindow =
                 [&](const CommandLine& window) {
                   Form1 form(*window.folder, nullptr, sigilflip::form1::SeedsOf(window.seed));
                   form.show();
                   return app->exec();
                 }});
}
