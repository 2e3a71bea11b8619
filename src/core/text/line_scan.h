#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <type_traits>

#include "text/cpu_features.h"
#include "text/line_model.h"
#include "text/rune_key.h"

// Finding what a pass acts on in a chunk of whole rune lines (LineReader::Next): the rune lines,
// and the line ends that are not CR LF. Everything else is copied as it stands.
namespace sigilflip {

// The scans may read up to this many bytes past the lines they are given, and up to
// kScanUnderread bytes before them; those bytes must be readable, and what they hold does not
// matter.
inline constexpr std::size_t kScanOverread = 128;
inline constexpr std::size_t kScanUnderread = 2;

// The first `byte` from `from`, which the chunk holds before `end`; kScanOverread readable bytes
// follow the chunk. Most lines are short: one vector look first.
inline const char* FindByte(const char* from, const char* end, char byte) {
#ifdef SIGILFLIP_SSE2
  const auto found = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(
      _mm_loadu_si128(reinterpret_cast<const __m128i*>(from)), _mm_set1_epi8(byte))));
  if (found != 0) {
    return from + std::countr_zero(found);
  }
#endif
  return static_cast<const char*>(std::memchr(from, byte, static_cast<std::size_t>(end - from)));
}

// An oddEnd for a pass that has nothing to do at odd line ends: the scans then do not look for
// them.
struct IgnoreOddEnds {
  template <typename State>
  void operator()(State&, const char*, const char*) const {}
};

// The bytes of a 64-byte block that the scan looks for, one bit each, the block's first byte in
// bit 0, by the line-end rule (line_model.h) and the key rule (rune_key.h), from the block, the two
// bytes before it and the bytes after it:
//   keys: where a line starts with a rune key's candidate: its first letter in any case, its digit
//     and its '=' (the scan checks the other letters);
//   oddEnds: the line ends that are not CR LF.
struct BlockMasks {
  std::uint64_t keys;
  std::uint64_t oddEnds;
};

// The masks a byte at a time: the scan where there are no vectors, and what the vector masks are
// tested against.
struct PlainBlocks {
  template <char kTerminator>
  static BlockMasks Match(const char* block) {
    BlockMasks masks{};
    for (int bit = 0; bit < 64; ++bit) {
      const char* p = block + bit;
      const bool key = StartsLineAfter<kTerminator>(p[-2], p[-1]) &&
                       rune_key::Number({p, rune_key::kLength}) != 0;
      masks.keys |= static_cast<std::uint64_t>(key) << bit;
      masks.oddEnds |= static_cast<std::uint64_t>(EndsOddly<kTerminator>(p[0], p[1]) != 0) << bit;
    }
    return masks;
  }
};

#ifdef SIGILFLIP_BLOCK_SCAN
// Each instruction set's masks, from one body (block_masks.inc): SSE2, 16 bytes at a time, and
// AVX2, 32, compiled for AVX2 as a whole.
namespace sse2 {
inline constexpr int kWidth = 16;
#include "text/block_masks.inc"
}  // namespace sse2

#ifdef SIGILFLIP_AVX2
SIGILFLIP_BEGIN_AVX2
namespace avx2 {
inline constexpr int kWidth = 32;
#include "text/block_masks.inc"
}  // namespace avx2
SIGILFLIP_END_AVX2
#endif
#endif

// ScanLines for lines that end in kTerminator.
template <typename Blocks, char kTerminator, typename State, typename RuneLine, typename OddEnd>
State ScanBlocks(std::string_view chunk, State state, RuneLine&& runeLine, OddEnd&& oddEnd) {
  constexpr bool kOddEnds = !std::is_same_v<std::remove_cvref_t<OddEnd>, IgnoreOddEnds>;
  const char* const end = chunk.data() + chunk.size();
  const char* done = chunk.data();  // what lies before is part of a rune line handled already
  // A block with more of the chunk after it (`whole`), or the last, which may be cut short.
  const auto scanBlock = [&](const char* block, auto whole) {
    const auto left = static_cast<std::size_t>(end - block);
    const std::uint64_t inside =
        whole || left >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << left) - 1;
    const BlockMasks masks = Blocks::template Match<kTerminator>(block);
    const std::uint64_t keys = masks.keys & inside;
    for (std::uint64_t events = keys | (kOddEnds ? masks.oddEnds & inside : 0); events != 0;
         events &= events - 1) {
      const int bit = std::countr_zero(events);
      const char* const at = block + bit;
      if ((keys >> bit & 1) != 0 && rune_key::HasLetters(at)) {
        // The chunk holds the line whole; only a lone CR after it can be an event of its own.
        const char* const value = at + rune_key::kLength;
        const char* const terminator = FindByte(value, end, kTerminator);
        runeLine(state, at, static_cast<int>(rune_key::NumberOf(at[rune_key::kDigitAt])),
                 std::string_view(value, static_cast<std::size_t>(terminator - value)),
                 PastTerminator<kTerminator>(terminator));
        done = terminator + 1;
      } else if (kOddEnds && at >= done && (masks.oddEnds >> bit & 1) != 0) {
        oddEnd(state, at, at + kOddEndSize);
      }
    }
  };
  const char* block = chunk.data();
  for (; end - block > 64; block += 64) {
    scanBlock(block, std::true_type{});
  }
  if (block < end) {
    scanBlock(block, std::false_type{});
  }
  return state;
}

// Calls, in the order of `chunk`, a run of whole rune lines (LineReader::Next), with `state` as the
// first argument:
//   runeLine(state, start, key, value, next) for each rune line that starts in it: it starts at
//     `start`, `value` is what follows its key, and the next line starts at `next`, past its
//     terminator;
//   oddEnd(state, end, next) for the end of each other line that does not end in CR LF: a CR
//     alone, or the LF of a file whose lines end in LF (IgnoreOddEnds: none);
// and returns `state` as they left it. `state` is what the calls change, a local of the scan,
// which the compiler keeps in registers; what the calls reach by reference stays in memory, and
// every store through a char* would have it loaded again. Lines end in `terminator` (CR, where a
// LF after it belongs to it, or LF); the chunk may start and end inside a line that is no rune
// line. A line is a rune line only if it starts with a key's candidate, so that the other lines
// cost nothing but their share of the block masks, which `Blocks::Match` gives. Reads up to
// kScanUnderread bytes before `chunk` and kScanOverread bytes past it.
template <typename Blocks, typename State, typename RuneLine, typename OddEnd>
State ScanLines(std::string_view chunk, char terminator, State state, RuneLine&& runeLine,
                OddEnd&& oddEnd) {
  if (terminator == '\r') {
    return ScanBlocks<Blocks, '\r'>(chunk, state, runeLine, oddEnd);
  }
  return ScanBlocks<Blocks, '\n'>(chunk, state, runeLine, oddEnd);
}

// The scans of each instruction set, compiled for it with every call inlined.
#ifdef SIGILFLIP_BLOCK_SCAN
template <typename... Arguments>
SIGILFLIP_FLATTEN auto ScanLinesSse2(Arguments&&... arguments) {
  return ScanLines<sse2::Blocks>(arguments...);
}
#endif
#ifdef SIGILFLIP_AVX2
template <typename... Arguments>
SIGILFLIP_TARGET_AVX2 SIGILFLIP_FLATTEN auto ScanLinesAvx2(Arguments&&... arguments) {
  return ScanLines<avx2::Blocks>(arguments...);
}
#endif

// Calls body(scan) with the fastest scan that this processor has, a callable taking the arguments
// of ScanLines; the choice is made once, for a whole pass.
template <typename Body>
decltype(auto) WithFastestScan(Body&& body) {
#ifdef SIGILFLIP_AVX2
  if (HasAvx2()) {
    return body([](auto&&... arguments) { return ScanLinesAvx2(arguments...); });
  }
#endif
#ifdef SIGILFLIP_BLOCK_SCAN
  return body([](auto&&... arguments) { return ScanLinesSse2(arguments...); });
#else
  return body([](auto&&... arguments) { return ScanLines<PlainBlocks>(arguments...); });
#endif
}

}  // namespace sigilflip
