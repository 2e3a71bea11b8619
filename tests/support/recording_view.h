#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "rune_view.h"

namespace sigilflip::testing {

// Records what a run shows, in order: "list" and an "item: ..." for each item, "warning: ...",
// "error: ...".
class RecordingView final : public RuneView {
 public:
  void ShowList(const std::vector<std::string>& items) override {
    list = items;
    events.push_back("list");
    for (const std::string& item : items) {
      events.push_back("item: " + item);
    }
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
