#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "text/rune_table.h"

// What a click on Command1 does, and what it takes from outside the window: the time of day and
// the message boxes. Standard C++, shared by both front ends; each gives its real clock and boxes,
// and the tests their own, so that the same click is tested against each without a person.
namespace sigilflip::form1 {

// Seconds since local midnight, with their fraction.
using Clock = std::function<float()>;

// The real clock: seconds since local midnight, with their milliseconds.
float SecondsSinceMidnight();

// The modal message boxes, titled with the application's title, with an OK button only. Texts are
// UTF-8. Each returns once dismissed.
class MessageBoxes {
 public:
  virtual ~MessageBoxes() = default;
  // A warning of the check, without an icon.
  virtual void Warning(std::string_view text) = 0;
  // A run that failed, with the error icon.
  virtual void Error(std::string_view text) = 0;
  // How to start the program, without an icon.
  virtual void Usage(std::string_view text) = 0;
};

// The list of a window, which shows the mapping.
class RuneList {
 public:
  virtual ~RuneList() = default;
  // Shows `items` (UTF-8), in their order, in place of what it showed.
  virtual void ShowList(const std::vector<std::string>& items) = 0;
};

// What both windows hold and do: the rune table, which keeps the last run's runes until the next
// run, the game folder, the clock and the boxes, and the click on Command1 with them.
class Form1State {
 public:
  Form1State(std::filesystem::path directory, std::unique_ptr<MessageBoxes> boxes, Clock clock);

  // The click on Command1: seeds the random source with the seconds since midnight, runs on
  // magic.ini in the folder, and shows what happened in words (run_texts.h): the mapping in
  // `list`, then each warning of the check in a box; or why the run failed, in a box, the list
  // left as it was.
  void Command1_Click(RuneList& list);

 private:
  std::filesystem::path directory_;
  std::unique_ptr<MessageBoxes> boxes_;
  Clock clock_;
  const CodePage& codePage_ = CodePage::System();  // of the files, and so of the names
  RuneTable Runes_{codePage_};
};

}  // namespace sigilflip::form1
