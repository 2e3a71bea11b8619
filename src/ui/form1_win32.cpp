#include "form1_win32.h"

#include <commctrl.h>
#include <initguid.h>  // the GUIDs of oleacc.h, defined here
#include <oleacc.h>

#include <algorithm>
#include <string>
#include <system_error>
#include <vector>

#include "form1_layout.h"
#include "text/windows_text.h"

namespace {

namespace design = sigilflip::form1;
using sigilflip::native::WideFromUtf8;

constexpr wchar_t kClassName[] = L"SigilflipForm1";
constexpr int kCommand1Id = 101;  // not IDOK or IDCANCEL: Command1 is neither default nor cancel
constexpr int kList1Id = 102;
constexpr DWORD kStyle = WS_OVERLAPPEDWINDOW;
constexpr DWORD kExStyle = WS_EX_CONTROLPARENT;

// Gives `control` the name that screen readers read for it, or with none takes it back (as the
// window goes): an annotation of oleacc's, so that nothing visible changes.
void NameForScreenReaders(HWND control, const std::wstring* name) {
  IAccPropServices* services = nullptr;
  if (FAILED(CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER,
                              IID_IAccPropServices, reinterpret_cast<void**>(&services)))) {
    return;  // the control keeps the name of its kind
  }
  MSAAPROPID property = PROPID_ACC_NAME;
  if (name != nullptr) {
    services->SetHwndPropStr(control, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, property,
                             name->c_str());
  } else {
    services->ClearHwndProps(control, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, &property, 1);
  }
  services->Release();
}

// Calls of Windows 10 (1607) and later, looked up at run time so that the program still starts
// on older Windows, where it falls back on the system-wide DPI.
struct DpiCalls {
  UINT(WINAPI* GetDpiForWindow)(HWND) = nullptr;
  BOOL(WINAPI* AdjustWindowRectExForDpi)(LPRECT, DWORD, BOOL, DWORD, UINT) = nullptr;
  BOOL(WINAPI* SystemParametersInfoForDpi)(UINT, UINT, PVOID, UINT, UINT) = nullptr;

  DpiCalls() {
    if (const HMODULE user32 = GetModuleHandleW(L"user32.dll")) {
      Find(user32, "GetDpiForWindow", GetDpiForWindow);
      Find(user32, "AdjustWindowRectExForDpi", AdjustWindowRectExForDpi);
      Find(user32, "SystemParametersInfoForDpi", SystemParametersInfoForDpi);
    }
  }

  template <typename Function>
  static void Find(HMODULE module, const char* name, Function& function) {
    function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  }
};

const DpiCalls& Dpi() {
  static const DpiCalls calls;
  return calls;
}

// The device context of a window (the screen's for none), released at the end of the scope, with
// the objects selected into it put back first.
class WindowContext {
 public:
  explicit WindowContext(HWND window) : window_(window), context_(GetDC(window)) {}
  ~WindowContext() {
    if (selected_ != nullptr) {
      SelectObject(context_, selected_);
    }
    ReleaseDC(window_, context_);
  }
  WindowContext(const WindowContext&) = delete;
  WindowContext& operator=(const WindowContext&) = delete;

  HDC get() const { return context_; }
  void Select(HGDIOBJ object) {
    const HGDIOBJ previous = SelectObject(context_, object);
    selected_ = selected_ != nullptr ? selected_ : previous;
  }

 private:
  HWND window_;
  HDC context_;
  HGDIOBJ selected_ = nullptr;  // what the context held before the first Select
};

UINT SystemDpi() {
  const WindowContext screen(nullptr);
  const int dpi = GetDeviceCaps(screen.get(), LOGPIXELSY);
  return dpi > 0 ? static_cast<UINT>(dpi) : USER_DEFAULT_SCREEN_DPI;
}

UINT WindowDpi(HWND window) {
  return Dpi().GetDpiForWindow != nullptr ? Dpi().GetDpiForWindow(window) : SystemDpi();
}

// The system's message font at `dpi`.
HFONT MessageFont(UINT dpi) {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof(metrics);
  if (Dpi().SystemParametersInfoForDpi != nullptr) {
    Dpi().SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0, dpi);
  } else {
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
    metrics.lfMessageFont.lfHeight = MulDiv(metrics.lfMessageFont.lfHeight, static_cast<int>(dpi),
                                            static_cast<int>(SystemDpi()));
  }
  return CreateFontIndirectW(&metrics.lfMessageFont);
}

// The outer size of a window whose client area is `client` at `dpi`.
SIZE WindowSize(design::Size client, UINT dpi) {
  RECT frame{0, 0, client.width, client.height};
  if (Dpi().AdjustWindowRectExForDpi != nullptr) {
    Dpi().AdjustWindowRectExForDpi(&frame, kStyle, FALSE, kExStyle, dpi);
  } else {
    AdjustWindowRectEx(&frame, kStyle, FALSE, kExStyle);
  }
  return {frame.right - frame.left, frame.bottom - frame.top};
}

void Place(HWND control, design::Rect twips, UINT dpi) {
  const design::Rect pixels = design::Pixels(twips, static_cast<int>(dpi));
  SetWindowPos(control, nullptr, pixels.left, pixels.top, pixels.width, pixels.height,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

void RegisterWindowClass(HINSTANCE instance, WNDPROC procedure) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = procedure;
  windowClass.hInstance = instance;
  windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
  windowClass.hIconSm = windowClass.hIcon;
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kClassName;
  RegisterClassExW(&windowClass);
}

class OwnedBoxes final : public design::MessageBoxes {
 public:
  explicit OwnedBoxes(const HWND& owner) : owner_(owner) {}
  void Warning(std::string_view text) override { Show(text, 0); }
  void Error(std::string_view text) override { Show(text, MB_ICONERROR); }
  void Usage(std::string_view text) override { Show(text, 0); }

 private:
  void Show(std::string_view text, UINT icon) {
    const std::wstring title = WideFromUtf8(design::kApplicationTitle);
    MessageBoxW(owner_, WideFromUtf8(text).c_str(), title.c_str(), MB_OK | icon);
  }
  const HWND& owner_;
};

[[noreturn]] void ThrowWindowsError(DWORD error, const char* what) {
  throw std::system_error(static_cast<int>(error), std::system_category(), what);
}

}  // namespace

std::unique_ptr<design::MessageBoxes> OwnedMessageBoxes(const HWND& owner) {
  return std::make_unique<OwnedBoxes>(owner);
}

Form1::Form1(HINSTANCE instance, std::filesystem::path directory,
             std::unique_ptr<MessageBoxes> boxes, Seeds seeds)
    : state_(std::move(directory), boxes != nullptr ? std::move(boxes) : OwnedMessageBoxes(window_),
             std::move(seeds)) {
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  RegisterWindowClass(instance, WindowProcedure);

  const std::wstring caption = WideFromUtf8(design::kForm1Caption);
  CreateWindowExW(kExStyle, kClassName, caption.c_str(), kStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                  CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, this);
  if (window_ == nullptr) {
    ThrowWindowsError(GetLastError(), "Cannot create the window");
  }
  // Created in tab order: Command1 first, then List1.
  const std::wstring command1 = WideFromUtf8(design::kCommand1Caption);
  Command1 = CreateWindowExW(0, L"BUTTON", command1.c_str(),
                             WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, 0, 0, 0,
                             window_, reinterpret_cast<HMENU>(kCommand1Id), instance, nullptr);
  List1 = CreateWindowExW(
      WS_EX_CLIENTEDGE, L"LISTBOX", L"",
      WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | LBS_NOINTEGRALHEIGHT, 0, 0, 0,
      0, window_, reinterpret_cast<HMENU>(kList1Id), instance, nullptr);
  if (Command1 == nullptr || List1 == nullptr) {
    const DWORD error = GetLastError();
    DestroyWindow(window_);
    ThrowWindowsError(error, "Cannot create the window's controls");
  }
  // Named as on Linux, for screen readers.
  comStarted_ = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
  const std::wstring list1Name = WideFromUtf8(design::kList1AccessibleName);
  NameForScreenReaders(List1, &list1Name);
  const UINT dpi = WindowDpi(window_);
  const SIZE size = WindowSize(design::Pixels(design::kClientTwips, static_cast<int>(dpi)), dpi);
  SetWindowPos(window_, nullptr, 0, 0, size.cx, size.cy,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  Layout(dpi);
  focus_ = Command1;
}

Form1::~Form1() {
  if (window_ != nullptr) {
    DestroyWindow(window_);
  }
  if (comStarted_) {
    CoUninitialize();
  }
}

void Form1::Show(int showCommand) {
  ShowWindow(window_, showCommand);
  UpdateWindow(window_);
  SetFocus(Command1);
}

bool Form1::TranslateDialogKeys(MSG& message) {
  // Return belongs to no control here. The dialog keys would make a focused Command1 the default
  // button, so that Return ran Sigilflip once the focus had moved with Tab.
  const bool ours = message.hwnd == window_ || IsChild(window_, message.hwnd);
  if (ours && message.wParam == VK_RETURN &&
      (message.message == WM_KEYDOWN || message.message == WM_KEYUP ||
       message.message == WM_CHAR)) {
    return true;
  }
  return IsDialogMessageW(window_, &message) != FALSE;
}

LRESULT CALLBACK Form1::WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* form =
        static_cast<Form1*>(reinterpret_cast<const CREATESTRUCTW*>(lParam)->lpCreateParams);
    form->window_ = window;  // messages come before CreateWindowExW returns
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
  }
  auto* form = reinterpret_cast<Form1*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (form == nullptr) {
    return DefWindowProcW(window, message, wParam, lParam);
  }
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    form->window_ = nullptr;
    return DefWindowProcW(window, message, wParam, lParam);
  }
  return form->Handle(message, wParam, lParam);
}

LRESULT Form1::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      if (LOWORD(wParam) == kCommand1Id && HIWORD(wParam) == BN_CLICKED) {
        Command1_Click();
        return 0;
      }
      break;
    case WM_ACTIVATE:
      // As a dialog does: the focus goes back where it was when the window is active again.
      if (LOWORD(wParam) == WA_INACTIVE) {
        const HWND focus = GetFocus();
        if (focus != nullptr && IsChild(window_, focus)) {
          focus_ = focus;
        }
      } else if (focus_ != nullptr) {
        SetFocus(focus_);
      }
      return 0;
    case WM_DPICHANGED: {
      const auto* suggested = reinterpret_cast<const RECT*>(lParam);
      SetWindowPos(window_, nullptr, suggested->left, suggested->top,
                   suggested->right - suggested->left, suggested->bottom - suggested->top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
      Layout(HIWORD(wParam));
      return 0;
    }
    case WM_CLOSE:
      DestroyWindow(window_);
      return 0;
    case WM_DESTROY:
      NameForScreenReaders(List1, nullptr);
      PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return DefWindowProcW(window_, message, wParam, lParam);
}

void Form1::Layout(UINT dpi) {
  Place(List1, design::kList1Twips, dpi);
  Place(Command1, design::kCommand1Twips, dpi);
  // The controls let go of the old font before it is deleted.
  decltype(font_) font(MessageFont(dpi));
  SendMessageW(List1, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), TRUE);
  SendMessageW(Command1, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), TRUE);
  font_ = std::move(font);
  SetHorizontalExtent();
}

// Long items scroll sideways: the list is as wide as its widest item in the current font.
void Form1::SetHorizontalExtent() {
  WindowContext context(List1);
  context.Select(font_.get());
  LONG widest = 0;
  std::wstring text;
  const auto count = static_cast<int>(SendMessageW(List1, LB_GETCOUNT, 0, 0));
  for (int item = 0; item < count; ++item) {
    text.resize(static_cast<std::size_t>(SendMessageW(List1, LB_GETTEXTLEN, item, 0)) + 1);
    text.resize(static_cast<std::size_t>(
        SendMessageW(List1, LB_GETTEXT, item, reinterpret_cast<LPARAM>(text.data()))));
    SIZE size{};
    GetTextExtentPoint32W(context.get(), text.c_str(), static_cast<int>(text.size()), &size);
    widest = std::max(widest, size.cx);
  }
  // The items stand a few pixels in from the edge, as many on the right then.
  const int margin = MulDiv(4, static_cast<int>(WindowDpi(window_)), USER_DEFAULT_SCREEN_DPI);
  SendMessageW(List1, LB_SETHORIZONTALEXTENT, widest > 0 ? widest + margin : 0, 0);
}

void Form1::Command1_Click() {
  state_.Command1_Click(*this);
}

// Filling a list of 1000 items is many times faster with redrawing off meanwhile.
void Form1::ShowList(const std::vector<std::string>& items) {
  SendMessageW(List1, WM_SETREDRAW, FALSE, 0);
  SendMessageW(List1, LB_RESETCONTENT, 0, 0);
  for (const std::string& item : items) {
    SendMessageW(List1, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(WideFromUtf8(item).c_str()));
  }
  SetHorizontalExtent();
  SendMessageW(List1, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(List1, nullptr, TRUE);
}
