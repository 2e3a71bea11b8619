#include "form1_click.h"

#include <chrono>
#include <ctime>

#include "random_source.h"
#include "sigilflipper.h"

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

bool Command1_Click(RuneTable& table, const std::filesystem::path& directory, float seed,
                    RuneView& view) {
  SeededRandom random(seed);
  return Sigilflipper(table, directory, random, view);
}

}  // namespace sigilflip::form1
