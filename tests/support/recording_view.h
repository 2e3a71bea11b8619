#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "rune_view.h"

namespace sigilflip::testing {

// Records what a run shows, in order: "clear", "item: ...", "warning: ...", "error: ...".
class RecordingView final : public RuneView {
 public:
  void ClearList() override {
    list.clear();
    events.push_back("clear");
  }
  void AddListItem(std::string_view item) override {
    list.emplace_back(item);
    events.push_back("item: " + std::string(item));
  }
  void ShowWarning(std::string_view message) override {
    warnings.emplace_back(message);
    events.push_back("warning: " + std::string(message));
  }
  void ShowError(std::string_view message) override {
    errors.emplace_back(message);
    events.push_back("error: " + std::string(message));
  }

  std::vector<std::string> list;
  std::vector<std::string> warnings;
  std::vector<std::string> errors;
  std::vector<std::string> events;
};

}  // namespace sigilflip::testing
