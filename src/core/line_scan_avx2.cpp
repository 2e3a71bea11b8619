// The block masks of the line scan with AVX2: 32 bytes at a time. Only this file is compiled for
// AVX2, and only where the processor has it is it called.
#include "line_scan.h"

#ifdef SIGILFLIP_AVX2
#include <immintrin.h>

namespace sigilflip {
namespace {

__attribute__((target("avx2"))) std::uint64_t MatchMask32x2(const char* p, __m256i c) {
  const __m256i low = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
  const __m256i high = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32));
  const auto lowBits = static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(low, c)));
  const auto highBits =
      static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(high, c)));
  return lowBits | std::uint64_t{highBits} << 32;
}

}  // namespace

__attribute__((target("avx2"))) BlockMasks MatchBlockAvx2(const char* block) {
  return {MatchMask32x2(block, _mm256_set1_epi8('\r')),
          MatchMask32x2(block, _mm256_set1_epi8('\n')),
          MatchMask32x2(block + 5, _mm256_set1_epi8('='))};
}

bool HasAvx2() {
  static const bool has = __builtin_cpu_supports("avx2");
  return has;
}

}  // namespace sigilflip
#endif
