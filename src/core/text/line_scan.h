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
  const auto found =
      static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(byte))));
  if (found != 0) {
    const char* at = from + std::countr_zero(found);
    return at < end ? at : nullptr;
  }
  if (end - from <= 16) {
    return nullptr;
  }
  from += 16;
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

// The rune line that starts at `start` and ends at or after `end`: its value, as far as `end`.
inline std::string_view ValueUpTo(const char* start, const char* end) {
  const char* value = start + rune_key::kLength;
  return {value, value < end ? static_cast<std::size_t>(end - value) : 0};
}

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
State ScanBlocks(std::string_view lines, State state, RuneLine&& runeLine, OddEnd&& oddEnd) {
  const char* const begin = lines.data();
  const char* const end = begin + lines.size();
  const char* done = begin;  // what lies before is part of a rune line handled already
  // A block with more of `lines` after it (`whole`), or the last, which may be cut short.
  const auto scanBlock = [&](const char* block, auto whole) {
    const auto left = static_cast<std::size_t>(end - block);
    const std::uint64_t inside =
        whole || left >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << left) - 1;
    const BlockMasks masks = Blocks::template Match<kTerminator>(block);
    std::uint64_t keys = masks.keys & inside;
    std::uint64_t oddEnds = kIgnoresOddEnds<OddEnd> ? 0 : masks.oddEnds & inside;
    // The rune line that starts at `bit`.
    const auto runeAt = [&](int bit) {
      const char* at = block + bit;
      const int key = at[rune_key::kDigitAt] - rune_key::kFirstDigit + 1;
      const char* found = FindByte(at + rune_key::kLength, end, kTerminator);
      if (found == nullptr) {
        runeLine(state, at, key, ValueUpTo(at, end), static_cast<const char*>(nullptr));
        done = end;
        return;
      }
      runeLine(state, at, key, std::string_view(at + rune_key::kLength, found),
               PastTerminator<kTerminator>(found));
      // Only a lone CR can be an event after the rune line's own terminator.
      done = found + 1;
    };
    for (; oddEnds == 0 && keys != 0; keys &= keys - 1) {
      // Line starts alone: none lies inside a rune line before it.
      const int bit = std::countr_zero(keys);
      if (rune_key::HasLetters(block + bit)) {
        runeAt(bit);
      }
    }
    for (std::uint64_t events = keys | oddEnds; events != 0; events &= events - 1) {
      const int bit = std::countr_zero(events);
      if (block + bit < done) {
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
// A line is a rune line only if it starts with a key's candidate, so that the other lines cost
// nothing but their share of the block masks, which `Blocks::Match` gives. Reads up to
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
