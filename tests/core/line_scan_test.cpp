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

// `text` as a chunk: after the stream's start, with bytes to read past it.
std::string_view Chunk(std::string& buffer, std::string_view text) {
  buffer = "\r\n" + std::string(text) + std::string(kScanOverread, '\0');
  return std::string_view(buffer).substr(kScanUnderread, text.size());
}

TEST(LineScan, PlainScanFindsRuneLinesAndOddLineEnds) {
  std::string buffer;
  EXPECT_EQ(ScanEvents(Chunk(buffer, "[a]\r\nRUNE2= x \r\nb\rrune5=\r\nRUNE6=y\r\nRune1=z\r"), '\r',
                       kPlainScan),
            (Events{"rune 5 key 2 value ' x ' next 16", "odd end 17 next 18",
                    "rune 18 key 5 value '' next 26", "rune 35 key 1 value 'z' next 43"}));
  EXPECT_EQ(ScanEvents(Chunk(buffer, "a\nRUNE1=b\r\n"), '\n', kPlainScan),
            (Events{"odd end 1 next 2", "rune 2 key 1 value 'b\r' next 11"}));
  // A chunk that goes on with a line and ends inside one that is no rune line, which only look
  // like rune lines.
  EXPECT_EQ(
      ScanEvents(Chunk(buffer, "RUNE1=a\rRank1=5\rRUNX2=b\rRUNE3").substr(1), '\r', kPlainScan),
      (Events{"odd end 6 next 7", "odd end 14 next 15", "odd end 22 next 23"}));
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
      "RUNE1=", "rune5=", "Rune3=", "RUNE6=", "RUNE=",      "RUNE1",   "=",        "x",
      "Fire",   " ",      "\xC6",   "\r",     "\n",         "\r\n",    "\r\r",     "\n\r",
      "=====",  "Rank1=", "RUNX2=", "rUnE4=", "RUNE2=a\rb", "[Magic]", "R\xC5NE1="};
  std::string lines;
  const int count = std::uniform_int_distribution<int>(0, 60)(engine);
  for (int i = 0; i < count; ++i) {
    lines += kPieces[std::uniform_int_distribution<std::size_t>(0, kPieces.size() - 1)(engine)];
  }
  // Whole lines, as a chunk holds its rune lines, or after them a line that is no rune line.
  lines += terminator;
  if (std::uniform_int_distribution<int>(0, 2)(engine) == 0) {
    lines += "Fire";
  } else if (lines.back() == '\r' && std::uniform_int_distribution<int>(0, 1)(engine) == 0) {
    lines += '\n';
  }
  // The stream's bytes before and after: a CR or a LF before the chunk, or a byte that does not
  // end a line; after it, bytes that would mislead a scan that took them for the chunk's own, but
  // no LF after a CR (which the chunk would hold).
  const std::size_t before = kScanUnderread + shift;
  Sample sample;
  // (Nor a CR before a LF that starts the chunk: the chunk before would have held it.)
  const char ending = lines.front() == '\n' ? '\n' : "\r\nx"[shift % 3];
  sample.buffer = std::string(before, ending) + lines + std::string(kScanOverread, '=');
  for (std::size_t i = 1; i < kScanOverread; i += 3) {
    sample.buffer[before + lines.size() + i] = '\n';
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
