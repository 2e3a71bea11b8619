#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "run/random_source.h"
#include "text/rune_table.h"
#include "words/run_texts.h"

// What a click on Command1 does, and what it takes from outside the window: the seed of each press
// and the message boxes; and the same run without a window. Standard C++, shared by both front
// ends; each gives its real seeds and boxes, and the tests their own, so that the same click is
// tested against each without a person.
namespace sigilflip::form1 {

// The seed of each press.
using Seeds = std::function<Seed()>;

// The real clock: seconds since local midnight, with their milliseconds.
float SecondsSinceMidnight();
// The seed of a press now, from the seconds since local midnight (SeedOf).
Seed SeedOfTheTime();
// The seeds of a program started with `--seed N`, `given`: N at every press, the same shuffle each
// time; else the time of each press.
Seeds SeedsOf(std::optional<Seed> given);

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
// run, the game folder, the seeds and the boxes, and the click on Command1 with them.
class Form1State {
 public:
  Form1State(std::filesystem::path directory, std::unique_ptr<MessageBoxes> boxes, Seeds seeds);

  // The click on Command1: seeds the random source with the press's seed, runs on magic.ini in
  // the folder, and shows what happened in words (run_texts.h): the mapping in `list`, then each
  // warning of the check in a box; or why the run failed, in a box, the list left as it was.
  void Command1_Click(RuneList& list);

 private:
  std::filesystem::path directory_;
  std::unique_ptr<MessageBoxes> boxes_;
  Seeds seeds_;
  RuneTable Runes_{CodePage::System()};  // whose names are in the files' code page
};

// One run on magic.ini in `directory` with `seed`, into `table`, in words, as both a press and a
// run without a window show it.
RunTexts RunInWords(RuneTable& table, const std::filesystem::path& directory, Seed seed);

}  // namespace sigilflip::form1
