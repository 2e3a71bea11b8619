#include <fcntl.h>

#include <QApplication>
#include <QIcon>
#include <cerrno>
#include <csignal>
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

// Where the program writes without a window: standard output and standard error, as they were
// given. A text that cannot be written (a full disk, a closed pipe) is remembered with its reason.
class StandardStreams final : public sigilflip::form1::Console {
 public:
  bool Out(std::string_view text) override { return Write(stdout, text); }
  bool Err(std::string_view text) override { return Write(stderr, text); }
  std::string Failure() const override { return failure_; }

  // Prints `text` on standard output (or error) and returns `status`; or 1, with the reason on
  // standard error as the system's own tools say it, when it could not be written.
  int Print(bool out, std::string_view text, int status) {
    if ((out ? Out(text) : Err(text))) {
      return status;
    }
    std::fprintf(stderr, "Sigilflip: write error: %s\n", failure_.c_str());
    return sigilflip::form1::kExitFailed;
  }

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
  using sigilflip::form1::CommandLine;
  using sigilflip::form1::kExitCommandLine;
  const auto line = sigilflip::form1::ReadCommandLine(
      std::vector<std::filesystem::path>(argv + 1, argv + argc), ProgramFolder(argv[0]));
  StandardStreams streams;
  // What a terminal asks of any program, answered there, with or without a display.
  if (line.question != CommandLine::Question::kNone) {
    return streams.Print(true,
                         line.question == CommandLine::Question::kHelp
                             ? std::string(sigilflip::texts::kUsage)
                             : std::string("Sigilflip ") + SIGILFLIP_VERSION,
                         0);
  }
  // A run without a window needs no display, and Qt is not started: its options are not known.
  // Without a display Qt would abort: arguments Sigilflip does not know get the usage, the others
  // the reason there is no window.
  if (line.run || !HasDisplay()) {
    if (!line.folder) {
      return streams.Print(false, sigilflip::texts::kUsage, kExitCommandLine);
    }
    // A reader that went away (`Sigilflip --run | head -n 1`) is a line not printed, with its
    // exit status, not a signal that ends the program.
    std::signal(SIGPIPE, SIG_IGN);
    return line.run
               ? sigilflip::form1::RunWithoutWindow(*line.folder,
                                                    sigilflip::form1::SeedsOf(line.seed)(), streams)
               : streams.Print(false, sigilflip::texts::kNoDisplay, sigilflip::form1::kExitFailed);
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
