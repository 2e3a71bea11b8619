#include "form1_click.h"

#include <chrono>
#include <ctime>
#include <string>
#include <utility>

#include "run/random_source.h"
#include "run/sigilflipper.h"
#include "words/run_texts.h"

namespace sigilflip::form1 {

float SecondsSinceMidnight() {
  using namespace std::chrono;
  const system_clock::time_point now = system_clock::now();
  const std::time_t seconds = system_clock::to_time_t(now);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &seconds);
#else
  localtime_r(&seconds, &local);
#endif
  const auto milliseconds =
      duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  const long whole = local.tm_hour * 3600L + local.tm_min * 60L + local.tm_sec;
  return static_cast<float>(whole * 1000 + (milliseconds + 1000) % 1000) / 1000.0f;
}

Seed SeedOfTheTime() {
  return SeedOf(SecondsSinceMidnight());
}

Seeds SeedsOf(std::optional<Seed> given) {
  if (given) {
    return [seed = *given] { return seed; };
  }
  return SeedOfTheTime;
}

Form1State::Form1State(std::filesystem::path directory, std::unique_ptr<MessageBoxes> boxes,
                       Seeds seeds)
    : directory_(std::move(directory)), boxes_(std::move(boxes)), seeds_(std::move(seeds)) {}

RunTexts RunInWords(RuneTable& table, const std::filesystem::path& directory, Seed seed) {
  SeededRandom random(seed);
  return TextsOf(Sigilflipper(table, directory, random), table.codePage());
}

void Form1State::Command1_Click(RuneList& list) {
  const RunTexts texts = RunInWords(Runes_, directory_, seeds_());
  if (texts.list) {
    list.ShowList(*texts.list);
  }
  for (const std::string& warning : texts.warnings) {
    boxes_->Warning(warning);
  }
  if (texts.error) {
    boxes_->Error(*texts.error);
  }
}

}  // namespace sigilflip::form1
