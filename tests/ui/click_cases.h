#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "form1_click.h"
#include "run/random_source.h"

// What a click on Command1 does, as both front ends' tests check it: a magic.ini, the clock at
// 12:34:56.25, and what the window then shows and writes. Texts are UTF-8.
namespace sigilflip::testing {

inline constexpr Seed kClickSeed = SeedOf(45296.25f);  // a press at 12:34:56.25

struct ClickCase {
  const char* name;
  bool hasInput;
  std::string input;               // magic.ini
  std::vector<std::string> items;  // List1 afterwards
  std::string output;              // magic-new.ini afterwards; empty: none
  // The boxes, in order, each as "warning" or "error", the items in List1 while it showed, and
  // the start of its text: "warning 3: Rune error : count = 998 : ".
  std::vector<std::string> boxes;
};

// Records the boxes of either window instead of showing them, as the click cases give them: the
// kind, the number of items in the list while it showed (`items`), and the text.
class RecordedBoxes final : public form1::MessageBoxes {
 public:
  RecordedBoxes(std::vector<std::string>& boxes, std::function<int()> items)
      : boxes_(boxes), items_(std::move(items)) {}
  void Warning(std::string_view text) override { Record("warning", text); }
  void Error(std::string_view text) override { Record("error", text); }
  void Usage(std::string_view text) override { Record("usage", text); }

 private:
  void Record(const char* kind, std::string_view text) {
    boxes_.push_back(std::string(kind) + " " + std::to_string(items_()) + ": " + std::string(text));
  }
  std::vector<std::string>& boxes_;
  std::function<int()> items_;
};

inline std::vector<ClickCase> ClickCases() {
  return {
      // The seed draws 0.680, 0.773 and 0.353: counts 2, 2 and 1 over three runes, so Æther goes
      // to the 2nd unnamed rune (Fire), Fire to the 2nd of the rest (Ice), Ice to Æther.
      {"writes the output and fills the list",
       true,
       "[a]\r\nRUNE1=\xC6ther\r\nRUNE2=Fire\r\nRUNE3=Ice\r\n",
       {"Æther => Ice", "Fire => Æther", "Ice => Fire"},
       "[a]\r\nRune1=Ice\r\nRune2=\xC6ther\r\nRune3=Fire\r\n",
       {}},
      // Whatever the draws, an empty name among three runes warns once, after the list is filled.
      {"warns after the filled list",
       true,
       "RUNE1=B\r\nRUNE2=\r\nRUNE3=C\r\n",
       {"B => C", " => B", "C => "},
       "Rune1=C\r\nRune2=B\r\nRune3=\r\n",
       {"warning 3: Rune error : count = 998 : "}},
      {"says why when magic.ini is missing", false, "", {}, "", {"error 0: Cannot read "}},
  };
}

}  // namespace sigilflip::testing
