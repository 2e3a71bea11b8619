#pragma once

#include <windows.h>

#include <filesystem>

#include "rune_table.h"
#include "rune_view.h"

// The program's only window on Windows: the list of the last run's mapping and the button that
// starts a run, laid out from the twips at the window's DPI. It owns the rune table, which keeps
// the last run's runes until the next run.
class Form1 final : private sigilflip::RuneView {
 public:
  // Creates the window, hidden, for runs on magic.ini in `directory`.
  Form1(HINSTANCE instance, std::filesystem::path directory);
  ~Form1() override;
  Form1(const Form1&) = delete;
  Form1& operator=(const Form1&) = delete;

  // Shows the window with the keyboard focus on Command1.
  void Show(int showCommand);
  // Handles Tab, Shift+Tab and Space as a dialog does, and keeps Return from doing anything; true
  // when the message was one of them.
  bool TranslateDialogKeys(MSG& message);

  HWND List1 = nullptr;
  HWND Command1 = nullptr;

 private:
  static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
  void Command1_Click();

  // Places the controls and sets their font for `dpi`.
  void Layout(UINT dpi);
  // Lets the list redraw again after it was filled.
  void EndListUpdate();
  void SetHorizontalExtent();

  void ClearList() override;
  void AddListItem(std::string_view item) override;
  void ShowWarning(std::string_view message) override;
  void ShowError(std::string_view message) override;

  HWND window_ = nullptr;
  HFONT font_ = nullptr;
  HWND focus_ = nullptr;  // the control that had the focus when the window was last active
  bool listFrozen_ = false;
  std::filesystem::path directory_;
  sigilflip::RuneTable Runes_;
};

// The folder of the running program, however long its path.
std::filesystem::path ProgramDirectory();
