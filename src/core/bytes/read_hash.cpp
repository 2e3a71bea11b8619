#include "bytes/read_hash.h"

// Windows: compiled in from xxHash's header, the program being static; elsewhere linked, with
// the library's choice of the processor's widest vectors (AVX2, AVX-512) on x86-64.
#ifdef SIGILFLIP_XXHASH_INLINE
#define XXH_INLINE_ALL
#include <xxhash.h>
#elif defined(__x86_64__)
#include <xxh_x86dispatch.h>
#else
#include <xxhash.h>
#endif

#include <new>

namespace sigilflip {

struct ReadHash::State {
  XXH3_state_t* xxh3 = XXH3_createState();
  ~State() { XXH3_freeState(xxh3); }
};

ReadHash::ReadHash() : state_(std::make_unique<State>()) {
  if (state_->xxh3 == nullptr) {
    throw std::bad_alloc();
  }
  XXH3_64bits_reset(state_->xxh3);
}

ReadHash::~ReadHash() = default;

void ReadHash::Add(const char* bytes, std::size_t count) {
  XXH3_64bits_update(state_->xxh3, bytes, count);
  size_ += count;
}

ReadDigest ReadHash::Digest() const {
  return {size_, XXH3_64bits_digest(state_->xxh3)};
}

}  // namespace sigilflip
