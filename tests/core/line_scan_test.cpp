#include "text/line_scan.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "scan_events.h"

namespace sigilflip {
namespace {

using testing::kPlainScan;
using testing::ScanEvents;
using Events = std::vector<std::string>;

TEST(LineScan, PlainScanFindsRuneLinesAndOddLineEnds) {
  const std::string lines = "[a]\r\nRUNE2= x \r\nb\rrune5=\r\nRUNE6=y\r\nRune1=z\r";
  EXPECT_EQ(ScanEvents(lines, '\r', kPlainScan),
            (Events{"rune 5 key 2 value ' x ' next 16", "odd end 17",
                    "rune 18 key 5 value '' next 26", "rune 35 key 1 value 'z' next 43"}));
  EXPECT_EQ(ScanEvents("a\nRUNE1=b\r\n", '\n', kPlainScan),
            (Events{"odd end 1", "rune 2 key 1 value 'b\r' next 11"}));
}

#ifdef SIGILFLIP_BLOCK_SCAN
// Whole lines of pieces that rune files are made of, ending in `terminator`, at `shift` bytes
// into a buffer, between bytes that would mislead a scan that took them for its own.
struct Sample {
  std::string buffer;
  std::string_view lines;
};

Sample MakeSample(std::mt19937& engine, char terminator, std::size_t shift) {
  static const std::vector<std::string> kPieces = {
      "RUNE1=", "rune5=", "Rune3=", "RUNE6=",     "RUNE=",  "RUNE1", "=",
      "x",      "Fire",   " ",      "\xC6",       "\r",     "\n",    "\r\n",
      "\r\r",   "\n\r",   "=====",  "RUNE2=a\rb", "[Magic]"};
  std::string lines;
  const int count = std::uniform_int_distribution<int>(0, 60)(engine);
  for (int i = 0; i < count; ++i) {
    lines += kPieces[std::uniform_int_distribution<std::size_t>(0, kPieces.size() - 1)(engine)];
  }
  // Whole lines: cut after the last terminator, or add one.
  const std::size_t last = lines.rfind(terminator);
  if (last == std::string::npos || std::uniform_int_distribution<int>(0, 3)(engine) == 0) {
    lines += terminator;
  } else {
    lines.resize(last + 1);
  }
  if (terminator == '\r' && std::uniform_int_distribution<int>(0, 1)(engine) == 0) {
    lines += '\n';
  }
  // CRs before the lines, as if the lines before them ended there.
  const std::size_t before = kScanUnderread + shift;
  Sample sample;
  sample.buffer = std::string(before, '\r') + lines + std::string(kScanOverread, '\n');
  for (std::size_t i = 1; i < kScanOverread; i += 3) {
    sample.buffer[before + lines.size() + i] = '=';
  }
  sample.lines = std::string_view(sample.buffer).substr(before, lines.size());
  return sample;
}

TEST(LineScan, FastScansAgreeWithThePlainOneAtEveryAlignment) {
  std::mt19937 engine(2026);
  for (int round = 0; round < 3000; ++round) {
    const char terminator = round % 3 == 0 ? '\n' : '\r';
    const Sample sample = MakeSample(engine, terminator, static_cast<std::size_t>(round % 64));
    ASSERT_EQ(ScanEvents(sample.lines, terminator, testing::kSse2Scan),
              ScanEvents(sample.lines, terminator, kPlainScan))
        << "round " << round;
#ifdef SIGILFLIP_AVX2
    if (HasAvx2()) {
      ASSERT_EQ(ScanEvents(sample.lines, terminator, testing::kAvx2Scan),
                ScanEvents(sample.lines, terminator, kPlainScan))
          << "round " << round;
    }
#endif
  }
}
#endif

}  // namespace
}  // namespace sigilflip
