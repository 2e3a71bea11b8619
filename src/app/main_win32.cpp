#include "form1_win32.h"  // windows.h, which shellapi.h needs first

#include <shellapi.h>

#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "game_folder.h"
#include "text/windows_text.h"
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

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
  // magic.ini lies in the folder handed to the program (a folder or a file dropped on it), else
  // beside the program, wherever it is started from.
  const auto folder = sigilflip::form1::GameFolder(Arguments(), ProgramDirectory());
  const HWND noOwner = nullptr;
  if (!folder) {
    OwnedMessageBoxes(noOwner)->Usage(sigilflip::texts::kUsage);
    return 2;
  }
  try {
    Form1 form(instance, *folder);
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
    OwnedMessageBoxes(noOwner)->Error(sigilflip::texts::CannotOpenWindow(
        sigilflip::native::SystemMessage(static_cast<unsigned long>(error.code().value()))));
    return 1;
  }
}
