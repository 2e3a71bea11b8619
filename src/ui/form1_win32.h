#pragma once

#include <windows.h>

#include <filesystem>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "form1_click.h"

// The program's only window on Windows: the list of the last run's mapping and the button that
// starts a run, laid out from the twips at the window's DPI. It owns the rune table (in its
// state), which keeps the last run's runes until the next run.
class Form1 final : private sigilflip::form1::RuneList {
 public:
  using MessageBoxes = sigilflip::form1::MessageBoxes;
  using Seeds = sigilflip::form1::Seeds;
  struct FontDeleter {
    void operator()(HFONT font) const { DeleteObject(font); }
  };

  // Creates the window, hidden, for runs on magic.ini in `directory`, each press with the seed
  // that `seeds` gives; throws std::system_error when Windows cannot create it. Tests pass their
  // own message boxes; without boxes, the real ones show, owned by the window.
  Form1(HINSTANCE instance, std::filesystem::path directory,
        std::unique_ptr<MessageBoxes> boxes = nullptr,
        Seeds seeds = sigilflip::form1::SeedOfTheTime);
  ~Form1() override;
  Form1(const Form1&) = delete;
  Form1& operator=(const Form1&) = delete;

  // Shows the window with the keyboard focus on Command1.
  void Show(int showCommand);
  // Handles Tab, Shift+Tab and Space as a dialog does, and keeps Return from doing anything; true
  // when the message was one of them.
  bool TranslateDialogKeys(MSG& message);

  HWND window() const { return window_; }
  HWND List1 = nullptr;
  HWND Command1 = nullptr;

 private:
  static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
  void Command1_Click();

  // Places the controls and sets their font for `dpi`.
  void Layout(UINT dpi);
  void SetHorizontalExtent();

  void ShowList(const std::vector<std::string>& items) override;

  HWND window_ = nullptr;
  std::unique_ptr<std::remove_pointer_t<HFONT>, FontDeleter> font_;
  bool comStarted_ = false;  // for the name of List1 that screen readers read
  HWND focus_ = nullptr;     // the control that had the focus when the window was last active
  sigilflip::form1::Form1State state_;
};

// The real message boxes, owned by the window that `owner` holds (when they show; none: no
// owner).
std::unique_ptr<sigilflip::form1::MessageBoxes> OwnedMessageBoxes(const HWND& owner);
