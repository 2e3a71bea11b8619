#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "text/line_scan.h"

namespace sigilflip::testing {

// What a line scan reports, one text per event, with places as offsets into `lines`. `scan` is
// called as scan(lines, terminator, state, runeLine, oddEnd).
template <typename Scan>
std::vector<std::string> ScanEvents(std::string_view lines, char terminator, Scan&& scan) {
  std::vector<std::string> events;
  const auto offset = [&](const char* at) { return std::to_string(at - lines.data()); };
  scan(
      lines, terminator, 0,
      [&](int&, const char* start, int key, std::string_view value, const char* next) {
        events.push_back("rune " + offset(start) + " key " + std::to_string(key) + " value '" +
                         std::string(value) + "' next " +
                         (next != nullptr ? offset(next) : "open"));
      },
      [&](int&, const char* end, const char* next) {
        events.push_back("odd end " + offset(end) + " next " + offset(next));
      });
  return events;
}

// The scans, as callables for ScanEvents.
inline constexpr auto kPlainScan = [](auto&&... arguments) {
  return ScanLines<PlainBlocks>(arguments...);
};
#ifdef SIGILFLIP_BLOCK_SCAN
inline constexpr auto kSse2Scan = [](auto&&... arguments) { return ScanLinesSse2(arguments...); };
#endif
#ifdef SIGILFLIP_AVX2
inline constexpr auto kAvx2Scan = [](auto&&... arguments) { return ScanLinesAvx2(arguments...); };
#endif

// What every fast scan that this processor has reports that the plain scan does not, or empty
// text. `lines` is preceded by kScanUnderread readable bytes and followed by kScanOverread.
inline std::string FastScansDisagree([[maybe_unused]] std::string_view lines,
                                     [[maybe_unused]] char terminator) {
#ifdef SIGILFLIP_BLOCK_SCAN
  const std::vector<std::string> plain = ScanEvents(lines, terminator, kPlainScan);
  if (ScanEvents(lines, terminator, kSse2Scan) != plain) {
    return "the SSE2 scan disagrees with the plain one";
  }
#ifdef SIGILFLIP_AVX2
  if (HasAvx2() && ScanEvents(lines, terminator, kAvx2Scan) != plain) {
    return "the AVX2 scan disagrees with the plain one";
  }
#endif
#endif
  return {};
}

}  // namespace sigilflip::testing
