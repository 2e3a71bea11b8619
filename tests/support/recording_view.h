#pragma once

#include <string>
#include <vector>

#include "run/sigilflipper.h"
#include "text/code_page.h"
#include "words/run_texts.h"

namespace sigilflip::testing {

// Records what a run shows, in words and in order, as both windows word it: "list" and an
// "item: ..." for each item, "warning: ...", "error: ...".
class RecordingView {
 public:
  // Records the texts of `report`, names read in `codePage`; returns whether the run succeeded.
  bool Take(const RunReport& report, const CodePage& codePage = CodePage::Get(1252)) {
    const RunTexts texts = TextsOf(report, codePage);
    if (texts.list) {
      list = *texts.list;
      events.push_back("list");
      for (const std::string& item : list) {
        events.push_back("item: " + item);
      }
    }
    for (const std::string& warning : texts.warnings) {
      warnings.push_back(warning);
      events.push_back("warning: " + warning);
    }
    if (texts.error) {
      errors.push_back(*texts.error);
      events.push_back("error: " + *texts.error);
    }
    return report.succeeded();
  }

  std::vector<std::string> list;
  std::vector<std::string> warnings;
  std::vector<std::string> errors;
  std::vector<std::string> events;
};

}  // namespace sigilflip::testing
