#include "form1_win32.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
  // magic.ini lies beside the program, wherever it is started from.
  Form1 form(instance, ProgramDirectory());
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
