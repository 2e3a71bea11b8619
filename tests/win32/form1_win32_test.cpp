// The Win32 Form1 with a clock and message boxes of the test's: the click cases that the Qt
// window's tests run too, and what only this window does with its list. Runs under Wine in Xvfb
// (form1_tests.sh); the window is created but never shown, and nothing drives it but messages.
#include "form1_win32.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "click_cases.h"
#include "list_box.h"
#include "test_support.h"
#include "text/windows_text.h"

namespace sigilflip {
namespace {

using testing::ListBoxItems;
using testing::ReadBytes;
using testing::WriteBytes;

// How many pixels of the list's client area its own painting leaves other than white.
int InkOf(HWND list) {
  RECT client{};
  GetClientRect(list, &client);
  const HDC screen = GetDC(list);
  const HDC memory = CreateCompatibleDC(screen);
  const HBITMAP bitmap = CreateCompatibleBitmap(screen, client.right, client.bottom);
  const HGDIOBJ previous = SelectObject(memory, bitmap);
  FillRect(memory, &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  SendMessageW(list, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory), PRF_CLIENT);
  int ink = 0;
  for (int y = 0; y < client.bottom; ++y) {
    for (int x = 0; x < client.right; ++x) {
      ink += GetPixel(memory, x, y) != RGB(255, 255, 255) ? 1 : 0;
    }
  }
  SelectObject(memory, previous);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(list, screen);
  return ink;
}

// A fresh Form1 on a folder of its own.
struct Window {
  Window()
      : form(GetModuleHandleW(nullptr), folder.path(),
             std::make_unique<testing::RecordedBoxes>(
                 boxes, [this] { return static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0)); }),
             [] { return testing::kClickSeed; }),
        list(form.List1) {}

  // A click as Windows reports it to the window.
  void Click() {
    SendMessageW(form.window(), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(form.Command1), BN_CLICKED),
                 reinterpret_cast<LPARAM>(form.Command1));
  }

  testing::TempDir folder;
  std::vector<std::string> boxes;
  Form1 form;
  HWND list;
};

class Form1Win32 : public ::testing::TestWithParam<testing::ClickCase> {};

TEST_P(Form1Win32, Click) {
  const testing::ClickCase& test = GetParam();
  Window window;
  if (test.hasInput) {
    WriteBytes(window.folder / "magic.ini", test.input);
  }
  window.Click();
  EXPECT_EQ(ListBoxItems(window.list), test.items);
  ASSERT_EQ(std::filesystem::exists(window.folder / "magic-new.ini"), !test.output.empty());
  if (!test.output.empty()) {
    EXPECT_EQ(ReadBytes(window.folder / "magic-new.ini"), test.output);
  }
  ASSERT_EQ(window.boxes.size(), test.boxes.size());
  for (std::size_t i = 0; i < test.boxes.size(); ++i) {
    EXPECT_EQ(window.boxes[i].substr(0, test.boxes[i].size()), test.boxes[i]);
  }
}

INSTANTIATE_TEST_SUITE_P(BothWindows, Form1Win32, ::testing::ValuesIn(testing::ClickCases()));

// The list is refilled from the table, and wide enough to scroll to the end of its longest item.
TEST(Form1Win32List, IsReplacedAndScrollsToItsWidestItem) {
  Window window;
  WriteBytes(window.folder / "magic.ini", "RUNE1=a\r\nRUNE2=b\r\n");
  window.Click();
  EXPECT_EQ(ListBoxItems(window.list), (std::vector<std::string>{"a => a", "b => b"}));
  const std::string wide(200, 'w');
  WriteBytes(window.folder / "magic.ini", "RUNE1=" + wide + "\r\n");
  window.Click();
  EXPECT_EQ(ListBoxItems(window.list), std::vector<std::string>{wide + " => " + wide});
  RECT client{};
  GetClientRect(window.list, &client);
  const LRESULT extent = SendMessageW(window.list, LB_GETHORIZONTALEXTENT, 0, 0);
  EXPECT_GT(extent, client.right);
  EXPECT_TRUE(window.boxes.empty());
  // Drawn again once filled: redrawing is on again, and the items paint.
  EXPECT_GT(InkOf(window.list), 0);
  // Moved to a screen of 144 dpi: the font grows, and the sideways scroll range with it.
  RECT place{};
  GetWindowRect(window.form.window(), &place);
  SendMessageW(window.form.window(), WM_DPICHANGED, MAKEWPARAM(144, 144),
               reinterpret_cast<LPARAM>(&place));
  EXPECT_GE(SendMessageW(window.list, LB_GETHORIZONTALEXTENT, 0, 0) * 10, extent * 14);
}

}  // namespace
}  // namespace sigilflip
