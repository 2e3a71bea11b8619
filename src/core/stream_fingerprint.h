#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace sigilflip {

// A fingerprint of a byte stream that is the same however the stream is cut into reads, so that
// two passes over a file can tell whether it changed between them: the stream's size, and two
// sums over its 32-byte blocks taken as four 64-bit words (the last block padded with zeros), one
// of the blocks and one of the running sums, so that a change of bytes or of their order changes
// it. It does not stand against changes made on purpose to keep it.
class StreamFingerprint {
 public:
  // Adds the next `count` bytes of the stream.
  void Add(const char* bytes, std::size_t count);

  // The number of bytes added.
  std::uint64_t Size() const { return sums_.size; }

  friend bool operator==(const StreamFingerprint& left, const StreamFingerprint& right) {
    return left.Finished() == right.Finished();
  }

 private:
  static constexpr std::size_t kBlock = 32;
  using Words = std::array<std::uint64_t, kBlock / 8>;
  struct Sums {
    Words blocks{};
    Words runningSums{};
    std::uint64_t size = 0;
    bool operator==(const Sums&) const = default;
  };

  static void AddBlocks(Sums& sums, const char* blocks, std::size_t count);
  Sums Finished() const;

  Sums sums_;
  std::array<char, kBlock> partial_{};  // the bytes of a block not yet whole
  std::size_t partialSize_ = 0;
};

}  // namespace sigilflip
