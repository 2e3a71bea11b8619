#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <type_traits>

#include "line_model.h"
#include "processor.h"

// Finding the lines that a pass acts on in a run of whole lines: the rune lines, and the line ends
// that are not CR LF. Everything else is copied as it stands.
namespace sigilflip {

inline constexpr std::size_t kRuneKeyLength = 6;

// The scans may read up to this many bytes past the lines they are given; those bytes must be
// readable, and what they hold does not matter.
inline constexpr std::size_t kScanOverread = 128;

// The key number 1 to 5 when the line starts with "RUNE1=" to "RUNE5=" in any letter case, else 0.
// The four letters are tested at once: setting bit 0x20 makes each of R, U, N and E lower case and
// leaves only the two spellings of each letter equal to it (no other byte of Windows-1252
// upper-cases to an ASCII letter).
inline int RuneKeyNumber(std::string_view line) {
  if (line.size() < kRuneKeyLength || line[5] != '=') {
    return 0;
  }
  std::uint32_t letters;
  std::uint32_t rune;
  std::memcpy(&letters, line.data(), 4);
  std::memcpy(&rune, "rune", 4);
  const auto digit = static_cast<unsigned>(static_cast<unsigned char>(line[4]) - '1');
  return (letters | 0x20202020u) == rune && digit < 5 ? static_cast<int>(digit) + 1 : 0;
}

// RuneKeyNumber of a line that starts at `at` with R or r, a digit 1 to 5 four bytes on and a '='
// five bytes on.
inline int RuneKeyOfCandidate(const char* at) {
  std::uint32_t letters;
  std::uint32_t rune;
  std::memcpy(&letters, at, 4);
  std::memcpy(&rune, "rune", 4);
  return (letters | 0x20202020u) == rune ? at[4] - '0' : 0;
}

// The first `byte` in [from, end), or nullptr; `from` lies in lines followed by kScanOverread
// readable bytes. Most lines are short: one vector look first.
inline const char* FindByte(const char* from, const char* end, char byte) {
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

// Calls, in the order of `lines`, with `state` as the first argument:
//   runeLine(state, start, key, value, next) for each rune line: it starts at `start`, `value` is
//     what follows its key, and the next line starts at `next`, past its terminator;
//   oddEnd(state, terminator) for the end of each other line that does not end in CR LF: a CR
//     alone, or the LF of a file whose lines end in LF.
// and returns `state` as they left it. `state` is what the calls change (a local of the scan, which
// the compiler can keep in registers: what they reach by reference stays in memory).
// `lines` are whole lines that end in `terminator` (CR, where a LF after it belongs to it, or LF).
// The plain scan, one line at a time.
template <typename State, typename RuneLine, typename OddEnd>
State ScanLinesPlain(std::string_view lines, char terminator, State state, RuneLine&& runeLine,
                     OddEnd&& oddEnd) {
  const char* start = lines.data();
  const char* const end = start + lines.size();
  while (start < end) {
    const auto* found = static_cast<const char*>(
        std::memchr(start, terminator, static_cast<std::size_t>(end - start)));
    const char* next = PastTerminator(found, end);
    const std::string_view line(start, static_cast<std::size_t>(found - start));
    if (const int key = RuneKeyNumber(line)) {
      runeLine(state, start, key, line.substr(kRuneKeyLength), next);
    } else if (next - found != 2) {
      oddEnd(state, found);
    }
    start = next;
  }
  return state;
}

#ifdef SIGILFLIP_SSE2
// The bytes of a 64-byte block that the scan looks for, one bit each, the block's first byte in
// bit 0: CRs, LFs, and the places that could start a rune key: an R or r with a digit 1 to 5 four
// bytes on and a '=' five bytes on.
struct BlockMasks {
  std::uint64_t carriageReturns;
  std::uint64_t lineFeeds;
  std::uint64_t keys;
};

// The masks with SSE2, 16 bytes at a time.
struct Sse2Blocks {
  static BlockMasks Match(const char* block) {
    BlockMasks masks{};
    for (int part = 0; part < 4; ++part) {
      const char* p = block + 16 * part;
      const auto load = [](const char* at) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
      };
      const auto bits = [part](__m128i matches) {
        return std::uint64_t{static_cast<std::uint32_t>(_mm_movemask_epi8(matches))} << (16 * part);
      };
      const __m128i bytes = load(p);
      const __m128i digit = _mm_sub_epi8(load(p + 4), _mm_set1_epi8('1'));
      const __m128i key = _mm_and_si128(
          _mm_and_si128(
              _mm_cmpeq_epi8(_mm_or_si128(bytes, _mm_set1_epi8(0x20)), _mm_set1_epi8('r')),
              _mm_cmpeq_epi8(_mm_min_epu8(digit, _mm_set1_epi8(4)), digit)),
          _mm_cmpeq_epi8(load(p + 5), _mm_set1_epi8('=')));
      masks.carriageReturns |= bits(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\r')));
      masks.lineFeeds |= bits(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\n')));
      masks.keys |= bits(key);
    }
    return masks;
  }
};

#ifdef SIGILFLIP_AVX2
// The masks with AVX2, 32 bytes at a time. (Lambdas here would not be compiled for AVX2.)
struct Avx2Blocks {
  SIGILFLIP_TARGET_AVX2 static BlockMasks Match(const char* block) {
    BlockMasks masks{};
    for (int half = 0; half < 2; ++half) {
      const char* p = block + 32 * half;
      const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
      const __m256i digit = _mm256_sub_epi8(
          _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 4)), _mm256_set1_epi8('1'));
      const __m256i key = _mm256_and_si256(
          _mm256_and_si256(_mm256_cmpeq_epi8(_mm256_or_si256(bytes, _mm256_set1_epi8(0x20)),
                                             _mm256_set1_epi8('r')),
                           _mm256_cmpeq_epi8(_mm256_min_epu8(digit, _mm256_set1_epi8(4)), digit)),
          _mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 5)),
                            _mm256_set1_epi8('=')));
      const auto crs = static_cast<std::uint32_t>(
          _mm256_movemask_epi8(_mm256_cmpeq_epi8(bytes, _mm256_set1_epi8('\r'))));
      const auto lfs = static_cast<std::uint32_t>(
          _mm256_movemask_epi8(_mm256_cmpeq_epi8(bytes, _mm256_set1_epi8('\n'))));
      const auto keys = static_cast<std::uint32_t>(_mm256_movemask_epi8(key));
      const int shift = 32 * half;
      masks.carriageReturns |= std::uint64_t{crs} << shift;
      masks.lineFeeds |= std::uint64_t{lfs} << shift;
      masks.keys |= std::uint64_t{keys} << shift;
    }
    return masks;
  }
};
#endif

// What the scan of one block hands on to the next.
struct BlockState {
  std::uint64_t startsBlock = 1;  // bit 0: the block starts with a line
  std::uint64_t crBefore = 0;     // bit 0: the byte before the block is a CR
  const char* done;               // what lies before is part of a rune line handled already
};

// The same as ScanLinesPlain, 64 bytes at a time: masks of the line ends give the line starts,
// and a line is a rune line only if it starts with a key's candidate, so that the other lines
// cost nothing but their share of the masks. Reads up to kScanOverread bytes past `lines`.
// `Blocks::Match` gives the BlockMasks of a block.
template <typename Blocks, typename State, typename RuneLine, typename OddEnd>
State ScanLinesMasked(std::string_view lines, char terminator, State state, RuneLine&& runeLine,
                      OddEnd&& oddEnd) {
  const char* const begin = lines.data();
  const char* const end = begin + lines.size();
  const bool byCarriageReturn = terminator == '\r';
  BlockState blocks{.done = begin};
  // A block with more of `lines` after it (`whole`), or the last, which may be cut short.
  const auto scanBlock = [&](const char* block, auto whole) {
    const auto left = static_cast<std::size_t>(end - block);
    const std::uint64_t inside =
        whole || left >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << left) - 1;
    std::uint64_t lineEnds;     // the last byte of each line's terminator
    std::uint64_t oddEnds;      // lone CRs, or every LF of a file whose lines end in LF
    std::uint64_t terminators;  // the first byte of each terminator
    const BlockMasks masks = Blocks::Match(block);
    if (byCarriageReturn) {
      // PastTerminator in masks: a line ends at a CR, or at the LF right after one.
      const std::uint64_t crs = masks.carriageReturns & inside;
      terminators = crs;
      const std::uint64_t lfs = masks.lineFeeds & inside;
      const std::uint64_t lfNext = whole && block[64] == '\n' ? 1 : 0;
      const std::uint64_t lfAfter = (lfs >> 1) | (lfNext << 63);
      oddEnds = crs & ~lfAfter;
      lineEnds = oddEnds | (lfs & ((crs << 1) | blocks.crBefore));
      blocks.crBefore = crs >> 63;
    } else {
      lineEnds = masks.lineFeeds & inside;
      oddEnds = lineEnds;
      terminators = lineEnds;
    }
    const std::uint64_t starts = ((lineEnds << 1) | blocks.startsBlock) & inside;
    blocks.startsBlock = lineEnds >> 63;
    const std::uint64_t keys = starts & masks.keys;
    // The rune line that starts at `bit`, if one does: true when it was handled.
    const auto runeAt = [&](int bit) {
      const char* at = block + bit;
      // The key's bytes are no line ends, so a line that starts with one is whole in `lines`.
      const int key = RuneKeyOfCandidate(at);
      if (key == 0) {
        return false;
      }
      const char* value = at + kRuneKeyLength;
      // Its terminator: in this block's mask when it is there, else further on.
      const int valueBit = bit + static_cast<int>(kRuneKeyLength);
      const std::uint64_t later = valueBit < 64 ? terminators & (~std::uint64_t{0} << valueBit) : 0;
      const char* found = later != 0 ? block + std::countr_zero(later)
                                     : FindByte(std::max(value, block + 64), end, terminator);
      runeLine(state, at, key, std::string_view(value, static_cast<std::size_t>(found - value)),
               PastTerminator(found, end));
      // Only a lone CR can be an event after the rune line's own terminator.
      blocks.done = found + 1;
      return true;
    };
    std::uint64_t events = keys;
    if constexpr (!kIgnoresOddEnds<OddEnd>) {
      events |= oddEnds;
    }
    if (events == keys) {
      // Only line starts: none lies inside a rune line before it.
      for (; events != 0; events &= events - 1) {
        runeAt(std::countr_zero(events));
      }
      return;
    }
    for (; events != 0; events &= events - 1) {
      const int bit = std::countr_zero(events);
      if (block + bit < blocks.done) {
        continue;
      }
      if ((keys >> bit & 1) != 0 && runeAt(bit)) {
        continue;
      }
      if ((oddEnds >> bit & 1) != 0) {
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

// Each scan is one function, with the masks and what the pass does at each line inlined into its
// loop (flatten), so that the AVX2 one is compiled for AVX2 as a whole.
template <typename State, typename RuneLine, typename OddEnd>
SIGILFLIP_FLATTEN State ScanLinesSse2(std::string_view lines, char terminator, State state,
                                      RuneLine&& runeLine, OddEnd&& oddEnd) {
  return ScanLinesMasked<Sse2Blocks>(lines, terminator, state, runeLine, oddEnd);
}

#ifdef SIGILFLIP_AVX2
template <typename State, typename RuneLine, typename OddEnd>
SIGILFLIP_TARGET_AVX2 SIGILFLIP_FLATTEN State ScanLinesAvx2(std::string_view lines, char terminator,
                                                            State state, RuneLine&& runeLine,
                                                            OddEnd&& oddEnd) {
  return ScanLinesMasked<Avx2Blocks>(lines, terminator, state, runeLine, oddEnd);
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
#ifdef SIGILFLIP_SSE2
        return ScanLinesSse2(lines, terminator, state, runeLine, oddEnd);
#else
        return ScanLinesPlain(lines, terminator, state, runeLine, oddEnd);
#endif
      });
}

}  // namespace sigilflip
