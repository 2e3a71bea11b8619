#include "byte_stream.h"

#include <algorithm>
#include <cstring>

namespace sigilflip {

std::size_t StringSource::Read(char* buffer, std::size_t size) {
  const std::size_t count = std::min(size, text_.size() - position_);
  if (count > 0) {
    std::memcpy(buffer, text_.data() + position_, count);
  }
  position_ += count;
  return count;
}

BufferedWriter::BufferedWriter(ByteSink& sink, std::size_t capacity)
    : sink_(sink), capacity_(capacity), buffer_(std::make_unique_for_overwrite<char[]>(capacity)) {}

void BufferedWriter::WriteThrough(std::string_view bytes) {
  Flush();
  if (bytes.size() >= capacity_) {
    sink_.Write(bytes);
  } else {
    std::memcpy(buffer_.get(), bytes.data(), bytes.size());
    used_ = bytes.size();
  }
}

void BufferedWriter::Flush() {
  if (used_ > 0) {
    sink_.Write({buffer_.get(), used_});
    used_ = 0;
  }
}

}  // namespace sigilflip
