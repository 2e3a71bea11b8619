#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace sigilflip {

// What a run shows: the list of the mapping and the message boxes. Texts are UTF-8.
class RuneView {
 public:
  virtual ~RuneView() = default;
  // Shows `items` in the list, in their order, in place of what it showed.
  virtual void ShowList(const std::vector<std::string>& items) = 0;
  // A warning of the check; returns once the user has dismissed it.
  virtual void ShowWarning(std::string_view message) = 0;
  // A run that failed; returns once the user has dismissed it.
  virtual void ShowError(std::string_view message) = 0;
};

}  // namespace sigilflip
