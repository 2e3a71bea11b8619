#include "bytes/byte_stream.h"

#include <algorithm>
#include <cstring>

namespace sigilflip {

std::size_t WithoutByteOrderMark::Read(char* buffer, std::size_t size) {
  if (!started_) {
    started_ = true;
    start_.assign(kMark.size(), '\0');
    std::size_t got = 0;
    for (std::size_t count = 1; got < start_.size() && count != 0; got += count) {
      count = source_.Read(start_.data() + got, start_.size() - got);
    }
    start_.resize(got);
    marked_ = start_ == kMark;
    if (marked_) {
      start_.clear();
    }
  }
  if (start_.empty()) {
    return source_.Read(buffer, size);
  }
  const std::size_t count = std::min(size, start_.size());
  std::memcpy(buffer, start_.data(), count);
  start_.erase(0, count);
  return count;
}

std::size_t StringSource::Read(char* buffer, std::size_t size) {
  const std::size_t count = std::min(size, text_.size() - position_);
  if (count > 0) {
    std::memcpy(buffer, text_.data() + position_, count);
  }
  position_ += count;
  return count;
}

OutputBuffer::OutputBuffer(ByteSink& sink, std::size_t capacity)
    : sink_(sink),
      capacity_(std::max(capacity, kSmallestCapacity)),
      buffer_(std::make_unique_for_overwrite<char[]>(capacity_)) {}

char* OutputBuffer::Write(char* at, std::string_view bytes) {
  if (!Fits(at, bytes.size())) {
    at = Flush(at);
    if (bytes.size() >= capacity_) {
      sink_.Write(bytes);
      return at;
    }
  }
  if (!bytes.empty()) {
    std::memcpy(at, bytes.data(), bytes.size());
  }
  return at + bytes.size();
}

char* OutputBuffer::Flush(char* at) {
  if (at != begin()) {
    sink_.Write({begin(), static_cast<std::size_t>(at - begin())});
  }
  return begin();
}

}  // namespace sigilflip
