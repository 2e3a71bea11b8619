#pragma once

#include <filesystem>
#include <functional>
#include <string_view>

#include "rune_table.h"
#include "rune_view.h"

// What a click on Command1 does, and what it takes from outside the window: the time of day and
// the message boxes. Standard C++, shared by both front ends; each gives its real clock and boxes,
// and the tests their own, so that the same click is tested against each without a person.
namespace sigilflip::form1 {

// Seconds since local midnight, with their fraction.
using Clock = std::function<float()>;

// The real clock: seconds since local midnight, with their milliseconds.
float SecondsSinceMidnight();

// The modal message boxes of a run, titled with the application's title, with an OK button only.
// Texts are UTF-8.
class MessageBoxes {
 public:
  virtual ~MessageBoxes() = default;
  // A warning of the check, without an icon. Returns once dismissed.
  virtual void Warning(std::string_view text) = 0;
  // A run that failed, with the error icon. Returns once dismissed.
  virtual void Error(std::string_view text) = 0;
};

// The click on Command1: seeds the random source with `seed` (the seconds since midnight) and
// runs on magic.ini in `directory`. Returns whether the run succeeded; the view has shown why not.
bool Command1_Click(RuneTable& table, const std::filesystem::path& directory, float seed,
                    RuneView& view);

}  // namespace sigilflip::form1
