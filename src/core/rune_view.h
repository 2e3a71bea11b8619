#pragma once

#include <string_view>

namespace sigilflip {

// What a run shows: the list of the mapping and the message boxes. Texts are UTF-8.
class RuneView {
 public:
  virtual ~RuneView() = default;
  virtual void ClearList() = 0;
  virtual void AddListItem(std::string_view item) = 0;
  // A warning of the check; returns once the user has dismissed it.
  virtual void ShowWarning(std::string_view message) = 0;
  // A run that failed; returns once the user has dismissed it.
  virtual void ShowError(std::string_view message) = 0;
};

}  // namespace sigilflip
