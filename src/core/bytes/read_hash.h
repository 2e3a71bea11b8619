#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace sigilflip {

// What a pass read of a source: its size and the XXH3 hash (xxHash, 64 bits) of its bytes, so that
// two passes over a file tell whether it changed between them.
struct ReadDigest {
  std::uint64_t size = 0;
  std::uint64_t hash = 0;
  bool operator==(const ReadDigest&) const = default;
};

// The digest of the bytes of a stream, added as they are read: the same however the reads cut
// them.
class ReadHash {
 public:
  ReadHash();
  ~ReadHash();
  ReadHash(const ReadHash&) = delete;
  ReadHash& operator=(const ReadHash&) = delete;

  // Adds the next `count` bytes of the stream.
  void Add(const char* bytes, std::size_t count);
  ReadDigest Digest() const;

 private:
  struct State;  // xxHash's streaming state
  std::unique_ptr<State> state_;
  std::uint64_t size_ = 0;
};

}  // namespace sigilflip
