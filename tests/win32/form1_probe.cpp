// Reads Sigilflip's window, its message boxes and its program file back through the Win32 API, for
// the tests that run the real program under Wine. Prints one fact a line, UTF-8.
//   form1_probe window          Form1's layout, captions, styles and focus, and where to click
//   form1_probe list            the items of List1
//   form1_probe box             waits for a message box of Form1, describes it and presses OK
//   form1_probe close           closes Form1
//   form1_probe version EXE     the version record and the icon of a program file
//   form1_probe run             presses Command1 and waits for the run: "ok", or the box it shows
//   form1_probe run-all N       the same for N Form1s at once, a result each
//   form1_probe focus-elsewhere activates a window of its own, then Form1 again
//   form1_probe usage-box       waits for the box that says how to start Sigilflip, and presses OK
// And plays another program beside Sigilflip:
//   form1_probe hold FILE MS HOW
//                               holds FILE for MS ms (-1: until ended): open, shared with nobody
//                               (none) or for everything (all), or mapped with its handle closed
//                               (map)
//   form1_probe grab FOLDER S   for S seconds opens every new temporary file as a virus scanner
//                               does, and says how many it could open
//   form1_probe end-during-write FOLDER BYTES
//                               ends Sigilflip once its temporary file has BYTES bytes
#include <windows.h>

#include <shellapi.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "list_box.h"
#include "text/windows_text.h"

namespace {

std::string Utf8(const std::wstring& text) {
  return sigilflip::native::Utf8FromWide(text);
}

std::wstring TextOf(HWND window) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(
      static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

std::wstring ClassOf(HWND window) {
  wchar_t name[256] = {};
  GetClassNameW(window, name, 256);
  return name;
}

// Polls for up to thirty seconds: a program's first start in a new Wine prefix is slow.
template <typename Find>
HWND WaitFor(Find find) {
  for (int attempt = 0; attempt < 600; ++attempt) {
    if (const HWND window = find()) {
      return window;
    }
    Sleep(50);
  }
  return nullptr;
}

HWND FindForm1() {
  return WaitFor([] {
    const HWND form = FindWindowW(nullptr, L"Form1");
    return form != nullptr && IsWindowVisible(form) ? form : nullptr;
  });
}

HWND ChildOfClass(HWND parent, const wchar_t* className) {
  for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    if (lstrcmpiW(ClassOf(child).c_str(), className) == 0) {
      return child;
    }
  }
  return nullptr;
}

// The control of Form1 of that class; prints "no NAME" when Form1 or the control is missing.
HWND ControlOfForm1(const wchar_t* className, const char* name) {
  const HWND form = FindForm1();
  const HWND control = form != nullptr ? ChildOfClass(form, className) : nullptr;
  if (control == nullptr) {
    std::printf("no %s\n", name);
  }
  return control;
}

// A child's place in its parent's client area.
RECT PlaceIn(HWND parent, HWND child) {
  RECT rect;
  GetWindowRect(child, &rect);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

void PrintRect(const char* name, RECT rect) {
  std::printf("%s %ld %ld %ld %ld\n", name, rect.left, rect.top, rect.right - rect.left,
              rect.bottom - rect.top);
}

const char* NameOf(HWND window, HWND list, HWND button) {
  return window == button ? "Command1" : window == list ? "List1" : "other";
}

int Window() {
  const HWND form = FindForm1();
  if (form == nullptr) {
    std::puts("no window Form1");
    return 1;
  }
  const HWND list = ChildOfClass(form, L"ListBox");
  const HWND button = ChildOfClass(form, L"Button");
  int children = 0;
  for (HWND child = GetWindow(form, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    ++children;
  }
  RECT client;
  GetClientRect(form, &client);
  std::printf("client %ld %ld\n", client.right, client.bottom);
  std::printf("children %d\n", children);
  if (list == nullptr || button == nullptr) {
    std::puts("controls missing");
    return 1;
  }
  PrintRect("List1", PlaceIn(form, list));
  PrintRect("Command1", PlaceIn(form, button));
  std::printf("caption %s\n", Utf8(TextOf(button)).c_str());
  const auto listStyle = static_cast<DWORD>(GetWindowLongPtrW(list, GWL_STYLE));
  const auto buttonStyle = static_cast<DWORD>(GetWindowLongPtrW(button, GWL_STYLE));
  std::printf("List1 sorted %d, no integral height %d, vertical scroll bar %d, items %ld\n",
              (listStyle & LBS_SORT) != 0, (listStyle & LBS_NOINTEGRALHEIGHT) != 0,
              (listStyle & WS_VSCROLL) != 0,
              static_cast<long>(SendMessageW(list, LB_GETCOUNT, 0, 0)));
  RECT listClient;
  GetClientRect(list, &listClient);
  std::printf("List1 horizontal scroll bar %d, width %ld, scrolls %ld\n",
              (listStyle & WS_HSCROLL) != 0, listClient.right,
              static_cast<long>(SendMessageW(list, LB_GETHORIZONTALEXTENT, 0, 0)));
  std::printf("Command1 push button %d, default %d\n", (buttonStyle & BS_TYPEMASK) == BS_PUSHBUTTON,
              (buttonStyle & BS_TYPEMASK) == BS_DEFPUSHBUTTON);
  // The height of a list item follows the font, and so the DPI.
  std::printf("item height %ld\n", static_cast<long>(SendMessageW(list, LB_GETITEMHEIGHT, 0, 0)));
  GUITHREADINFO thread{};
  thread.cbSize = sizeof(thread);
  GetGUIThreadInfo(GetWindowThreadProcessId(form, nullptr), &thread);
  std::printf("focus %s\n", NameOf(thread.hwndFocus, list, button));
  RECT onScreen;
  GetWindowRect(button, &onScreen);
  std::printf("click %ld %ld\n", (onScreen.left + onScreen.right) / 2,
              (onScreen.top + onScreen.bottom) / 2);
  return 0;
}

int List() {
  const HWND list = ControlOfForm1(L"ListBox", "List1");
  if (list == nullptr) {
    return 1;
  }
  for (const std::string& item : sigilflip::testing::ListBoxItems(list)) {
    std::printf("%s\n", item.c_str());
  }
  return 0;
}

// The message box that Form1 shows, if any.
HWND OwnedBox(HWND form) {
  for (HWND window = GetTopWindow(nullptr); window != nullptr;
       window = GetWindow(window, GW_HWNDNEXT)) {
    if (ClassOf(window) == L"#32770" && IsWindowVisible(window) &&
        GetWindow(window, GW_OWNER) == form) {
      return window;
    }
  }
  return nullptr;
}

int Box() {
  const HWND form = FindForm1();
  const HWND box = WaitFor([form] { return OwnedBox(form); });
  if (form == nullptr || box == nullptr) {
    std::puts("no message box");
    return 1;
  }
  std::printf("title %s\n", Utf8(TextOf(box)).c_str());
  // The text in the box's text control, one line per line of the message.
  std::string text = Utf8(TextOf(GetDlgItem(box, 0xFFFF)));
  for (std::size_t at = 0; (at = text.find('\n', at)) != std::string::npos; at += 6) {
    text.replace(at, 1, "\ntext ");
  }
  std::printf("text %s\n", text.c_str());
  std::string buttons;
  bool icon = false;
  for (HWND child = GetWindow(box, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    const auto style = static_cast<DWORD>(GetWindowLongPtrW(child, GWL_STYLE));
    if (!IsWindowVisible(child)) {
      continue;
    }
    if (lstrcmpiW(ClassOf(child).c_str(), L"Button") == 0) {
      buttons += buttons.empty() ? "" : " ";
      buttons += Utf8(TextOf(child));
    } else if (lstrcmpiW(ClassOf(child).c_str(), L"Static") == 0 &&
               (style & SS_TYPEMASK) == SS_ICON && SendMessageW(child, STM_GETICON, 0, 0) != 0) {
      icon = true;
    }
  }
  std::printf("buttons %s\n", buttons.c_str());
  std::printf("icon %d\n", icon);
  std::printf("modal %d\n", !IsWindowEnabled(form));
  PostMessageW(box, WM_COMMAND, IDOK, 0);
  // Gone once dismissed.
  const bool closed = WaitFor([box] { return IsWindow(box) ? nullptr : box; }) != nullptr;
  std::printf("dismissed %d\n", closed);
  return 0;
}

// Presses Command1 of `form` and waits for the run, pressing OK on its boxes: "ok", or the boxes.
std::string PressAndWait(HWND form) {
  const HWND button = ChildOfClass(form, L"Button");
  // The click is sent from a thread of its own, which returns when the run has ended; meanwhile
  // this one answers the boxes.
  std::atomic<bool> ended = false;
  std::thread press([&] {
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(form, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED),
                        reinterpret_cast<LPARAM>(button), SMTO_NORMAL, 120000, &ignored);
    ended = true;
  });
  std::string boxes;
  while (!ended) {
    if (const HWND box = OwnedBox(form)) {
      boxes += "box " + Utf8(TextOf(GetDlgItem(box, 0xFFFF))) + "\n";
      SendMessageW(box, WM_COMMAND, IDOK, 0);
    }
    Sleep(20);
  }
  press.join();
  return boxes.empty() ? "ok\n" : boxes;
}

int Run() {
  const HWND button = ControlOfForm1(L"Button", "Command1");
  if (button == nullptr) {
    return 1;
  }
  const DWORD start = GetTickCount();
  const std::string result = PressAndWait(GetParent(button));
  std::printf("%sseconds %.1f\n", result.c_str(), (GetTickCount() - start) / 1000.0);
  return 0;
}

// Presses Command1 of `count` Form1s at the same moment: what each run ended with.
int RunAll(std::size_t count) {
  std::vector<HWND> forms;
  WaitFor([&] {
    forms.clear();
    EnumWindows(
        [](HWND window, LPARAM found) {
          if (TextOf(window) == L"Form1" && IsWindowVisible(window)) {
            reinterpret_cast<std::vector<HWND>*>(found)->push_back(window);
          }
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&forms));
    return forms.size() >= count ? forms.front() : nullptr;
  });
  std::vector<std::string> results(forms.size());
  std::vector<std::thread> runs;
  for (std::size_t i = 0; i < forms.size(); ++i) {
    runs.emplace_back([&, i] { results[i] = PressAndWait(forms[i]); });
  }
  for (std::size_t i = 0; i < forms.size(); ++i) {
    runs[i].join();
    std::printf("%s", results[i].c_str());
  }
  return forms.size() == count ? 0 : 1;
}

int UsageBox() {
  const HWND box = WaitFor([] {
    const HWND found = FindWindowW(L"#32770", L"Sigilflip");
    return found != nullptr && IsWindowVisible(found) ? found : nullptr;
  });
  if (box == nullptr) {
    std::puts("no box");
    return 1;
  }
  std::printf("%s\n", Utf8(TextOf(GetDlgItem(box, 0xFFFF))).c_str());
  PostMessageW(box, WM_COMMAND, IDOK, 0);
  return 0;
}

int FocusElsewhere() {
  const HWND form = FindForm1();
  const HWND other = CreateWindowExW(0, L"STATIC", L"other", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                                     100, 100, nullptr, nullptr, nullptr, nullptr);
  SetForegroundWindow(other);
  Sleep(300);
  DestroyWindow(other);
  SetForegroundWindow(form);
  Sleep(300);
  return form != nullptr && other != nullptr ? 0 : 1;
}

// Holds `path` as another program would: "none" shares nothing; "all" shares reading, writing and
// deletion (a search indexer, a viewer); "map" keeps a view of it mapped, its handle closed.
int Hold(const wchar_t* path, int milliseconds, const std::wstring& how) {
  const DWORD share = how == L"none" ? 0 : FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  HANDLE file = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE; ++attempt) {
    file = CreateFileW(path, GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      Sleep(50);
    }
  }
  const void* view = nullptr;
  if (file != INVALID_HANDLE_VALUE && how == L"map") {
    const HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    view = mapping != nullptr ? MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0) : nullptr;
    CloseHandle(mapping);
    CloseHandle(file);
    file = view != nullptr ? nullptr : INVALID_HANDLE_VALUE;
  }
  if (file == INVALID_HANDLE_VALUE) {
    std::puts("cannot hold");
    return 1;
  }
  std::puts("held");
  std::fflush(stdout);
  Sleep(milliseconds < 0 ? INFINITE : static_cast<DWORD>(milliseconds));
  if (view != nullptr) {
    UnmapViewOfFile(view);
  } else {
    CloseHandle(file);
  }
  std::puts("released");
  return 0;
}

// Calls `found` with the path and size of every temporary file of magic-new.ini in `folder`.
template <typename Found>
void ForEachTemporary(const std::wstring& folder, Found found) {
  WIN32_FIND_DATAW data;
  const HANDLE search = FindFirstFileW((folder + L"\\magic-new.ini.~*.tmp").c_str(), &data);
  if (search == INVALID_HANDLE_VALUE) {
    return;
  }
  do {
    found(folder + L"\\" + data.cFileName,
          (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
  } while (FindNextFileW(search, &data));
  FindClose(search);
}

int Grab(const std::wstring& folder, int seconds) {
  int opened = 0;
  int refused = 0;
  const DWORD end = GetTickCount() + static_cast<DWORD>(seconds) * 1000;
  while (GetTickCount() < end) {
    ForEachTemporary(folder, [&](const std::wstring& path, ULONGLONG) {
      // As scanners and sync clients do: read it, sharing everything, so that only the sharing
      // of whoever holds it can refuse them.
      const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, 0, nullptr);
      if (file == INVALID_HANDLE_VALUE) {
        ++refused;
        return;
      }
      ++opened;
      Sleep(100);
      CloseHandle(file);
    });
    Sleep(1);
  }
  std::printf("opened %d, refused %d\n", opened, refused);
  return 0;
}

int EndDuringWrite(const std::wstring& folder, ULONGLONG bytes) {
  const HWND form = FindForm1();
  DWORD process = 0;
  GetWindowThreadProcessId(form, &process);
  const HANDLE sigilflip = OpenProcess(PROCESS_TERMINATE, FALSE, process);
  if (sigilflip == nullptr) {
    std::puts("no Sigilflip");
    return 1;
  }
  ULONGLONG written = 0;
  for (int attempt = 0; attempt < 60000 && written < bytes; ++attempt) {
    ForEachTemporary(folder, [&](const std::wstring&, ULONGLONG size) { written = size; });
    Sleep(1);
  }
  TerminateProcess(sigilflip, 1);
  WaitForSingleObject(sigilflip, 10000);
  CloseHandle(sigilflip);
  std::printf("ended at %s bytes\n", written >= bytes ? "enough" : "too few");
  return written >= bytes ? 0 : 1;
}

std::string VersionValue(const std::vector<char>& record, const wchar_t* name) {
  wchar_t* value = nullptr;
  UINT length = 0;
  const std::wstring path = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
  if (!VerQueryValueW(record.data(), path.c_str(), reinterpret_cast<void**>(&value), &length) ||
      length == 0) {
    return "(none)";
  }
  return Utf8(std::wstring(value, length - 1));
}

int Version(const wchar_t* program) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(program, &ignored);
  if (size == 0) {
    std::puts("no version record");
    return 1;
  }
  std::vector<char> record(size);
  GetFileVersionInfoW(program, 0, size, record.data());
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  VerQueryValueW(record.data(), L"\\", reinterpret_cast<void**>(&fixed), &length);
  std::printf("file version %d.%d.%d.%d\n", HIWORD(fixed->dwFileVersionMS),
              LOWORD(fixed->dwFileVersionMS), HIWORD(fixed->dwFileVersionLS),
              LOWORD(fixed->dwFileVersionLS));
  std::printf("product version %d.%d.%d.%d\n", HIWORD(fixed->dwProductVersionMS),
              LOWORD(fixed->dwProductVersionMS), HIWORD(fixed->dwProductVersionLS),
              LOWORD(fixed->dwProductVersionLS));
  struct Translation {
    WORD language;
    WORD codePage;
  }* translation = nullptr;
  VerQueryValueW(record.data(), L"\\VarFileInfo\\Translation",
                 reinterpret_cast<void**>(&translation), &length);
  std::printf("translation %04x %d\n", translation->language, translation->codePage);
  for (const wchar_t* name : {L"ProductName", L"InternalName", L"OriginalFilename", L"FileVersion",
                              L"ProductVersion", L"FileDescription"}) {
    std::printf("%s %s\n", Utf8(name).c_str(), VersionValue(record, name).c_str());
  }
  const HMODULE module = LoadLibraryExW(program, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  const HICON icon =
      module != nullptr
          ? static_cast<HICON>(LoadImageW(module, MAKEINTRESOURCEW(1), IMAGE_ICON, 32, 32, 0))
          : nullptr;
  std::printf("icon %d\n", icon != nullptr);
  // What the embedded manifest asks of Windows.
  const HRSRC found =
      module != nullptr ? FindResourceW(module, MAKEINTRESOURCEW(1), RT_MANIFEST) : nullptr;
  const std::string manifest =
      found != nullptr
          ? std::string(static_cast<const char*>(LockResource(LoadResource(module, found))),
                        SizeofResource(module, found))
          : std::string();
  for (const char* setting : {"PerMonitorV2", "<longPathAware", "Microsoft.Windows.Common-Controls",
                              "level=\"asInvoker\""}) {
    std::printf("manifest %s %d\n", setting, manifest.find(setting) != std::string::npos);
  }
  return 0;
}

}  // namespace

int main() {
  int count = 0;
  wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  const std::wstring command = count > 1 ? arguments[1] : L"";
  if (command == L"window") {
    return Window();
  }
  if (command == L"list") {
    return List();
  }
  if (command == L"close") {
    const HWND form = FindWindowW(nullptr, L"Form1");
    return form != nullptr && PostMessageW(form, WM_CLOSE, 0, 0) ? 0 : 1;
  }
  if (command == L"box") {
    return Box();
  }
  if (command == L"version" && count > 2) {
    return Version(arguments[2]);
  }
  if (command == L"run") {
    return Run();
  }
  if (command == L"run-all" && count > 2) {
    return RunAll(static_cast<std::size_t>(_wtoi(arguments[2])));
  }
  if (command == L"usage-box") {
    return UsageBox();
  }
  if (command == L"focus-elsewhere") {
    return FocusElsewhere();
  }
  if (command == L"hold" && count > 4) {
    return Hold(arguments[2], _wtoi(arguments[3]), arguments[4]);
  }
  if (command == L"grab" && count > 3) {
    return Grab(arguments[2], _wtoi(arguments[3]));
  }
  if (command == L"end-during-write" && count > 3) {
    return EndDuringWrite(arguments[2], _wtoi64(arguments[3]));
  }
  std::fputs(
      "usage: form1_probe window|list|box|close|run|run-all N|focus-elsewhere|usage-box|version "
      "EXE|"
      "hold FILE MS none|all|map|grab FOLDER SECONDS|end-during-write FOLDER BYTES\n",
      stderr);
  return 2;
}
