#include "form1_win32.h"  // windows.h, which shellapi.h needs first

#include <shellapi.h>

#include <filesystem>
#include <vector>

#include "form1_design.h"
#include "game_folder.h"
#include "windows_text.h"

namespace {

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
  if (!folder) {
    const std::wstring usage = sigilflip::native::WideFromUtf8(sigilflip::form1::kUsage);
    const std::wstring title = sigilflip::native::WideFromUtf8(sigilflip::form1::kApplicationTitle);
    MessageBoxW(nullptr, usage.c_str(), title.c_str(), MB_OK);
    return 2;
  }
  Form1 form(instance, *folder);
  if (form.Command1 == nullptr) {
    return 1;
  }
  form.Show(showCommand);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (!form.TranslateDialogKeys(message)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  return static_cast<int>(message.wParam);
}
