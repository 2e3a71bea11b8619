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

// Finding the lines that a pass acts on in a run of whole lines: the rune lines, and the line ends
// that are not CR LF. Everything else is copied as it stands.
namespace sigilflip {

// The scans may read up to this many bytes past the lines they are given, and up to
// kScanUnderread bytes before them; those bytes must be readable, and what they hold does not
// matter.
inline constexpr std::size_t kScanOverread = 128;
inline constexpr std::size_t kScanUnderread = 2;

// The first `byte` in [from, end), or nullptr; `from` lies in lines followed by kScanOverread
// readable bytes. Most lines are short: one vector look first.
inline const char* FindByte(const char* from, const char* end, char byte) {
  if (from >= end) {
    return nullptr;
  }
#ifdef SIGILFLIP_SSE2
  const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
  const auto left = static_cast<std::size_t>(end - from);
  const unsigned inside = left >= 16 ? 0xFFFFu : (1u << left) - 1;
  const unsigned found =
      static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(byte)))) & inside;
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
  void operator()(State&, const char*) const {}
};
template <typename OddEnd>
inline constexpr bool kIgnoresOddEnds = std::is_same_v<std::remove_cvref_t<OddEnd>, IgnoreOddEnds>;

// Whether a line starts at `at`, by the two bytes before it: after a CR, or after a LF that
// follows one (after a LF, where lines end in LF).
inline bool StartsLine(const char* at, char terminator) {
  return at[-1] == terminator || (at[-1] == '\n' && at[-2] == '\r');
}

// The rune line that starts at `start` and ends at or after `end`: its value, as far as `end`.
inline std::string_view ValueUpTo(const char* start, const char* end) {
  const char* value = start + rune_key::kLength;
  return {value, value < end ? static_cast<std::size_t>(end - value) : 0};
}

// Calls, in the order of `chunk` (LineReader::Next), with `state` as the first argument:
//   runeLine(state, start, key, value, next) for each rune line that starts in it: it starts at
//     `start`, `value` is what follows its key, and the next line starts at `next`, past its
//     terminator; or, where the chunk ends inside the line, `value` is what follows its key as far
//     as the chunk goes (it may start past it), and `next` is nullptr;
//   oddEnd(state, terminator) for the end of each other line that does not end in CR LF: a CR
//     alone, or the LF of a file whose lines end in LF;
// and returns `state` as they left it. `state` is what the calls change (a local of the scan, which
// the compiler can keep in registers: what they reach by reference stays in memory). Lines end in
// `terminator` (CR, where a LF after it belongs to it, or LF); the chunk's first bytes may end a
// line that started before it, which is no rune line's.
// The plain scan, one line at a time.
template <typename State, typename RuneLine, typename OddEnd>
State ScanLinesPlain(std::string_view chunk, char terminator, State state, RuneLine&& runeLine,
                     OddEnd&& oddEnd) {
  const char* start = chunk.data();
  const char* const end = start + chunk.size();
  bool lineStart = start < end && StartsLine(start, terminator);
  while (start < end) {
    const auto* found = static_cast<const char*>(
        std::memchr(start, terminator, static_cast<std::size_t>(end - start)));
    const int key = lineStart ? rune_key::Number({start, rune_key::kLength}) : 0;
    if (found == nullptr) {
      if (key != 0) {
        runeLine(state, start, key, ValueUpTo(start, end), static_cast<const char*>(nullptr));
      }
      break;
    }
    const char* next = PastTerminator(found, end);
    if (key != 0) {
      runeLine(state, start, key, ValueUpTo(start, found), next);
    } else if (next - found != 2) {
      oddEnd(state, found);
    }
    start = next;
    lineStart = true;
  }
  return state;
}

#ifdef SIGILFLIP_BLOCK_SCAN
// The bytes of a 64-byte block that the scan looks for, one bit each, the block's first byte in
// bit 0, from the block, the two bytes before it and the bytes after it:
//   keys: where a line starts with a rune key's candidate: after a CR, or after a LF that follows
//     a CR (a LF in a LineFeed file), an R or r with a digit 1 to 5 four bytes on and a '=' five
//     bytes on;
//   oddEnds: the line ends that are not CR LF: a CR that no LF follows (every LF in a LineFeed
//     file).
struct BlockMasks {
  std::uint64_t keys;
  std::uint64_t oddEnds;
};

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

// What the scan of a block hands on to the next.
struct BlockState {
  const char* done;  // what lies before is part of a rune line handled already
};

// ScanLinesMasked for lines that end in CR (kCarriageReturns) or in LF.
template <typename Blocks, bool kCarriageReturns, typename State, typename RuneLine,
          typename OddEnd>
State ScanBlocks(std::string_view lines, State state, RuneLine&& runeLine, OddEnd&& oddEnd) {
  constexpr char kTerminator = kCarriageReturns ? '\r' : '\n';
  const char* const begin = lines.data();
  const char* const end = begin + lines.size();
  BlockState blocks{.done = begin};
  // A block with more of `lines` after it (`whole`), or the last, which may be cut short.
  const auto scanBlock = [&](const char* block, auto whole) {
    const auto left = static_cast<std::size_t>(end - block);
    const std::uint64_t inside =
        whole || left >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << left) - 1;
    const BlockMasks masks = Blocks::template Match<kCarriageReturns>(block);
    std::uint64_t keys = masks.keys & inside;
    std::uint64_t oddEnds = masks.oddEnds & inside;
    // The rune line that starts at `bit`.
    const auto runeAt = [&](int bit) {
      const char* at = block + bit;
      const int key = at[rune_key::kDigitAt] - rune_key::kFirstDigit + 1;
      const char* found = FindByte(at + rune_key::kLength, end, kTerminator);
      if (found == nullptr) {
        runeLine(state, at, key, ValueUpTo(at, end), static_cast<const char*>(nullptr));
        blocks.done = end;
        return;
      }
      runeLine(state, at, key, ValueUpTo(at, found), PastTerminator(found, end));
      // Only a lone CR can be an event after the rune line's own terminator.
      blocks.done = found + 1;
    };
    if constexpr (kIgnoresOddEnds<OddEnd>) {
      oddEnds = 0;
    }
    for (; oddEnds == 0 && keys != 0; keys &= keys - 1) {
      // Line starts alone: none lies inside a rune line before it.
      const int bit = std::countr_zero(keys);
      if (rune_key::HasLetters(block + bit)) {
        runeAt(bit);
      }
    }
    for (std::uint64_t events = keys | oddEnds; events != 0; events &= events - 1) {
      const int bit = std::countr_zero(events);
      if (block + bit < blocks.done) {
        continue;
      }
      if ((keys >> bit & 1) != 0 && rune_key::HasLetters(block + bit)) {
        runeAt(bit);
      } else if ((oddEnds >> bit & 1) != 0) {
        oddEnd(state, block + bit);
      }
    }
  };
  const char* block = begin;
  for (; end - block > 64; block += 64) {
    scanBlock(block, std::true_type{});
  }
  if (block < end) {
    scanBlock(block, std::false_type{});
  }
  return state;
}

// The same as ScanLinesPlain, 64 bytes at a time: a line is a rune line only if it starts with a
// key's candidate, so that the other lines cost nothing but their share of the masks. Reads up to
// kScanUnderread bytes before `lines` and kScanOverread bytes past them.
// `Blocks::Match` gives the BlockMasks of a block.
template <typename Blocks, typename State, typename RuneLine, typename OddEnd>
State ScanLinesMasked(std::string_view lines, char terminator, State state, RuneLine&& runeLine,
                      OddEnd&& oddEnd) {
  if (terminator == '\r') {
    return ScanBlocks<Blocks, true>(lines, state, runeLine, oddEnd);
  }
  return ScanBlocks<Blocks, false>(lines, state, runeLine, oddEnd);
}

template <typename State, typename RuneLine, typename OddEnd>
SIGILFLIP_FLATTEN State ScanLinesSse2(std::string_view lines, char terminator, State state,
                                      RuneLine&& runeLine, OddEnd&& oddEnd) {
  return ScanLinesMasked<sse2::Blocks>(lines, terminator, state, runeLine, oddEnd);
}

#ifdef SIGILFLIP_AVX2
template <typename State, typename RuneLine, typename OddEnd>
SIGILFLIP_TARGET_AVX2 SIGILFLIP_FLATTEN State ScanLinesAvx2(std::string_view lines, char terminator,
                                                            State state, RuneLine&& runeLine,
                                                            OddEnd&& oddEnd) {
  return ScanLinesMasked<avx2::Blocks>(lines, terminator, state, runeLine, oddEnd);
}
#endif
#endif

// Calls body(scan) with the fastest scan that this processor has, a callable taking the arguments
// of ScanLinesPlain; the choice is made once, for a whole pass.
template <typename Body>
decltype(auto) WithFastestScan(Body&& body) {
#ifdef SIGILFLIP_AVX2
  if (HasAvx2()) {
    return body(
        [](std::string_view lines, char terminator, auto state, auto&& runeLine, auto&& oddEnd) {
          return ScanLinesAvx2(lines, terminator, state, runeLine, oddEnd);
        });
  }
#endif
  return body(
      [](std::string_view lines, char terminator, auto state, auto&& runeLine, auto&& oddEnd) {
#ifdef SIGILFLIP_BLOCK_SCAN
        return ScanLinesSse2(lines, terminator, state, runeLine, oddEnd);
#else
        return ScanLinesPlain(lines, terminator, state, runeLine, oddEnd);
#endif
      });
}

}  // namespace sigilflip
