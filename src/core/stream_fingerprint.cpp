#include "stream_fingerprint.h"

#include <algorithm>
#include <cstring>

#include "processor.h"

namespace sigilflip {

namespace {

using Words = std::array<std::uint64_t, 4>;

#ifdef SIGILFLIP_AVX2
SIGILFLIP_TARGET_AVX2 void AddBlocksAvx2(Words& blockSum, Words& runningSum, const char* blocks,
                                         std::size_t count) {
  __m256i sum = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(blockSum.data()));
  __m256i running = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(runningSum.data()));
  const auto add = [&sum, &running](const char* block) SIGILFLIP_TARGET_AVX2 {
    sum = _mm256_add_epi64(sum, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(block)));
    running = _mm256_add_epi64(running, sum);
  };
  for (; count >= 8; count -= 8, blocks += 256) {
    for (int i = 0; i < 8; ++i) {
      add(blocks + 32 * i);
    }
  }
  for (; count > 0; --count, blocks += 32) {
    add(blocks);
  }
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(blockSum.data()), sum);
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(runningSum.data()), running);
}
#endif

// The same sums without AVX2, word by word; the compiler makes vector code of it where it can.
void AddBlocksPortable(Words& blockSum, Words& runningSum, const char* blocks, std::size_t count) {
  Words sum = blockSum;
  Words running = runningSum;
  for (std::size_t i = 0; i < count; ++i, blocks += 32) {
    for (std::size_t word = 0; word < sum.size(); ++word) {
      std::uint64_t bytes;
      std::memcpy(&bytes, blocks + 8 * word, 8);
      sum[word] += bytes;
      running[word] += sum[word];
    }
  }
  blockSum = sum;
  runningSum = running;
}

}  // namespace

void StreamFingerprint::AddBlocks(Sums& sums, const char* blocks, std::size_t count) {
#ifdef SIGILFLIP_AVX2
  if (HasAvx2()) {
    AddBlocksAvx2(sums.blocks, sums.runningSums, blocks, count);
    return;
  }
#endif
  AddBlocksPortable(sums.blocks, sums.runningSums, blocks, count);
}

void StreamFingerprint::Add(const char* bytes, std::size_t count) {
  sums_.size += count;
  if (partialSize_ > 0) {
    const std::size_t taken = std::min(count, kBlock - partialSize_);
    std::memcpy(partial_.data() + partialSize_, bytes, taken);
    partialSize_ += taken;
    bytes += taken;
    count -= taken;
    if (partialSize_ < kBlock) {
      return;
    }
    AddBlocks(sums_, partial_.data(), 1);
    partialSize_ = 0;
  }
  AddBlocks(sums_, bytes, count / kBlock);
  partialSize_ = count % kBlock;
  if (partialSize_ > 0) {
    std::memcpy(partial_.data(), bytes + count - partialSize_, partialSize_);
  }
}

StreamFingerprint::Sums StreamFingerprint::Finished() const {
  Sums sums = sums_;
  if (partialSize_ > 0) {
    std::array<char, kBlock> last{};
    std::memcpy(last.data(), partial_.data(), partialSize_);
    AddBlocks(sums, last.data(), 1);
  }
  return sums;
}

}  // namespace sigilflip
