#include "stream_fingerprint.h"

#include <algorithm>
#include <cstring>

#include "processor.h"

namespace sigilflip {

void StreamFingerprint::AddBlocks(Sums& sums, const char* blocks, std::size_t count) {
#ifdef SIGILFLIP_SSE2
  const auto load = [](const void* at) { return _mm_loadu_si128(static_cast<const __m128i*>(at)); };
  __m128i low = load(&sums.blocks[0]);
  __m128i high = load(&sums.blocks[2]);
  __m128i lowRunning = load(&sums.runningSums[0]);
  __m128i highRunning = load(&sums.runningSums[2]);
  for (std::size_t i = 0; i < count; ++i, blocks += kBlock) {
    low = _mm_add_epi64(low, load(blocks));
    high = _mm_add_epi64(high, load(blocks + 16));
    lowRunning = _mm_add_epi64(lowRunning, low);
    highRunning = _mm_add_epi64(highRunning, high);
  }
  const auto store = [](std::uint64_t* at, __m128i words) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(at), words);
  };
  store(&sums.blocks[0], low);
  store(&sums.blocks[2], high);
  store(&sums.runningSums[0], lowRunning);
  store(&sums.runningSums[2], highRunning);
#else
  for (std::size_t i = 0; i < count; ++i, blocks += kBlock) {
    for (std::size_t word = 0; word < sums.blocks.size(); ++word) {
      std::uint64_t bytes;
      std::memcpy(&bytes, blocks + 8 * word, 8);
      sums.blocks[word] += bytes;
      sums.runningSums[word] += sums.blocks[word];
    }
  }
#endif
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
