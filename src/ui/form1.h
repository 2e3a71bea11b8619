#pragma once

#include <QWidget>
#include <filesystem>
#include <functional>
#include <memory>

#include "form1_design.h"
#include "message_boxes.h"
#include "rune_table.h"
#include "rune_view.h"

class QListWidget;
class QPushButton;

// The program's only window: the list of the last run's mapping and the button that starts a
// run. It owns the rune table, which keeps the last run's runes until the next run.
class Form1 : public QWidget, private sigilflip::RuneView {
  Q_OBJECT

 public:
  // Seconds since local midnight, with their fraction.
  using Clock = std::function<float()>;

  // Runs on magic.ini in `directory`. Tests pass their own message boxes and clock.
  explicit Form1(std::filesystem::path directory,
                 std::unique_ptr<MessageBoxes> boxes = std::make_unique<ModalMessageBoxes>(),
                 Clock clock = sigilflip::form1::SecondsSinceMidnight);
  ~Form1() override;

  QListWidget* List1;
  QPushButton* Command1;

 private slots:
  void Command1_Click();

 private:
  void ClearList() override;
  void AddListItem(std::string_view item) override;
  void ShowWarning(std::string_view message) override;
  void ShowError(std::string_view message) override;

  std::filesystem::path directory_;
  std::unique_ptr<MessageBoxes> boxes_;
  Clock clock_;
  sigilflip::RuneTable Runes_;
};
