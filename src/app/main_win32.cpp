#include "form1_win32.h"  // windows.h, which shellapi.h needs first

#include <shellapi.h>

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "command_line.h"
#include "launcher.h"
#include "text/windows_text.h"
#include "version.h"
#include "words/user_texts.h"

namespace {

// The folder of the running program, however long its path.
std::filesystem::path ProgramDirectory() {
  std::vector<wchar_t> name(MAX_PATH);
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
    if (length < name.size()) {
      return std::filesystem::path(std::wstring(name.data(), length)).parent_path();
    }
    name.resize(name.size() * 2);  // cut short: try again with room for a long path
  }
}

// The arguments after the program's name, as the wide command line has them.
std::vector<std::filesystem::path> Arguments() {
  std::vector<std::filesystem::path> arguments;
  int count = 0;
  if (wchar_t** words = CommandLineToArgvW(GetCommandLineW(), &count)) {
    arguments.assign(words + std::min(count, 1), words + count);
    LocalFree(words);
  }
  return arguments;
}

// Where --run writes, Sigilflip.exe being a window program: to the standard handles that it was
// given (a redirect or a pipe), and where it was given none, to the console of the program that
// started it, if that has one. UTF-8 into files and pipes; a console takes UTF-16, whatever its
// code page.
class StandardHandles final : public sigilflip::form1::Console {
 public:
  StandardHandles() : out_(Given(STD_OUTPUT_HANDLE)), err_(Given(STD_ERROR_HANDLE)) {
    if ((out_ == nullptr || err_ == nullptr) && AttachConsole(ATTACH_PARENT_PROCESS)) {
      console_ =
          CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                      nullptr, OPEN_EXISTING, 0, nullptr);
      console_ = console_ == INVALID_HANDLE_VALUE ? nullptr : console_;
      out_ = out_ != nullptr ? out_ : console_;
      err_ = err_ != nullptr ? err_ : console_;
    }
  }
  ~StandardHandles() override {
    if (console_ != nullptr) {
      CloseHandle(console_);
    }
  }
  StandardHandles(const StandardHandles&) = delete;
  StandardHandles& operator=(const StandardHandles&) = delete;

  bool Out(std::string_view text) override { return Write(out_, text); }
  bool Err(std::string_view text) override { return Write(err_, text); }
  std::string Failure() const override { return sigilflip::native::SystemMessage(failure_); }

  // Whether there is anywhere to write standard output: a handle given, or a console.
  bool HasOut() const { return out_ != nullptr; }

 private:
  static HANDLE Given(DWORD which) {
    const HANDLE handle = GetStdHandle(which);
    return handle == INVALID_HANDLE_VALUE ? nullptr : handle;
  }

  // Every line ends in CR LF, as Windows text does. Without a handle (started from Explorer)
  // there is nowhere to write, and nothing fails.
  bool Write(HANDLE handle, std::string_view lines) {
    if (handle == nullptr) {
      return true;
    }
    std::string text;
    for (const char c : lines) {
      text += c == '\n' ? "\r\n" : std::string(1, c);
    }
    text += "\r\n";
    DWORD written = 0;
    DWORD mode = 0;
    bool whole = false;
    if (GetConsoleMode(handle, &mode)) {
      const std::wstring wide = sigilflip::native::WideFromUtf8(text);
      whole = WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written,
                            nullptr) != 0;
    } else if (WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) !=
               0) {
      whole = written == text.size();
      if (!whole) {
        SetLastError(ERROR_HANDLE_DISK_FULL);  // a write cut short
      }
    }
    if (!whole && failure_ == ERROR_SUCCESS) {
      failure_ = GetLastError();
    }
    return whole;
  }

  DWORD failure_ = ERROR_SUCCESS;
  HANDLE out_;
  HANDLE err_;
  HANDLE console_ = nullptr;
};

// Where a window started without --run writes: nowhere (its boxes say what it has to say).
class NoConsole final : public sigilflip::form1::Console {
 public:
  bool Out(std::string_view) override { return true; }
  bool Err(std::string_view) override { return true; }
  std::string Failure() const override { return {}; }
};

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
  // magic.ini lies in the folder handed to the program (a folder or a file dropped on it), else
  // beside the program, wherever it is started from.
  using namespace sigilflip::form1;
  const CommandLine line = ReadCommandLine(Arguments(), ProgramDirectory());
  // The standard handles, or the starter's console, only where the program writes there: a window
  // attached to a console would end with it.
  std::optional<StandardHandles> handles;
  NoConsole none;
  if (line.run || line.question != CommandLine::Question::kNone) {
    handles.emplace();
  }
  const HWND noOwner = nullptr;
  return Launch(line,
                {.console = handles ? static_cast<Console&>(*handles) : none,
                 .hasConsole = handles && handles->HasOut(),
                 .hasDisplay = true,
                 .version = SIGILFLIP_VERSION,
                 .box = [&](std::string_view text) { OwnedMessageBoxes(noOwner)->Usage(text); },
                 .openWindow =
                     [&](const CommandLine& window) {
                       try {
                         Form1 form(instance, *window.folder, nullptr, SeedsOf(window.seed));
                         form.Show(showCommand);
                         MSG message;
                         while (GetMessageW(&message, nullptr, 0, 0) > 0) {
                           if (!form.TranslateDialogKeys(message)) {
                             TranslateMessage(&message);
                             DispatchMessageW(&message);
                           }
                         }
                         return static_cast<int>(message.wParam);
                       } catch (const std::system_error& error) {
                         OwnedMessageBoxes(noOwner)->Error(
                             sigilflip::texts::CannotOpenWindow(sigilflip::native::SystemMessage(
                                 static_cast<unsigned long>(error.code().value()))));
                         return kExitFailed;
                       }
                     }});
}
