#pragma once

#include <QWidget>
#include <filesystem>
#include <functional>
#include <memory>

#include "form1_click.h"

class QListWidget;
class QPushButton;

// The program's only window: the list of the last run's mapping and the button that starts a
// run. It owns the rune table (in its state), which keeps the last run's runes until the next run.
class Form1 : public QWidget, private sigilflip::form1::RuneList {
  Q_OBJECT

 public:
  using MessageBoxes = sigilflip::form1::MessageBoxes;
  using Seeds = sigilflip::form1::Seeds;

  // Runs on magic.ini in `directory`, each press with the seed that `seeds` gives. Tests pass
  // their own message boxes; without boxes, the real ones show, modal to the window.
  explicit Form1(std::filesystem::path directory, std::unique_ptr<MessageBoxes> boxes = nullptr,
                 Seeds seeds = sigilflip::form1::SeedOfTheTime);
  ~Form1() override;

  QListWidget* List1;
  QPushButton* Command1;

 private slots:
  void Command1_Click();

 private:
  void ShowList(const std::vector<std::string>& items) override;

  sigilflip::form1::Form1State state_;
};
