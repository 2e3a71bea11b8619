#pragma once

#include <QWidget>
#include <filesystem>
#include <functional>
#include <memory>

#include "form1_click.h"
#include "rune_table.h"
#include "rune_view.h"

class QListWidget;
class QPushButton;

// The program's only window: the list of the last run's mapping and the button that starts a
// run. It owns the rune table, which keeps the last run's runes until the next run.
class Form1 : public QWidget, private sigilflip::RuneView {
  Q_OBJECT

 public:
  using MessageBoxes = sigilflip::form1::MessageBoxes;
  using Clock = sigilflip::form1::Clock;

  // Runs on magic.ini in `directory`. Tests pass their own message boxes and clock; without
  // boxes, the real ones show, modal to the window.
  explicit Form1(std::filesystem::path directory, std::unique_ptr<MessageBoxes> boxes = nullptr,
                 Clock clock = sigilflip::form1::SecondsSinceMidnight);
  ~Form1() override;

  QListWidget* List1;
  QPushButton* Command1;

 private slots:
  void Command1_Click();

 private:
  void ShowList(const std::vector<std::string>& items) override;
  void ShowWarning(std::string_view message) override;
  void ShowError(std::string_view message) override;

  std::filesystem::path directory_;
  std::unique_ptr<MessageBoxes> boxes_;
  Clock clock_;
  sigilflip::RuneTable Runes_{sigilflip::CodePage::System()};
};
