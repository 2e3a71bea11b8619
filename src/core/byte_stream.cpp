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
    : sink_(sink), capacity_(capacity) {
  buffer_.reserve(capacity_);
}

void BufferedWriter::Write(std::string_view bytes) {
  if (buffer_.size() + bytes.size() > capacity_) {
    Flush();
    if (bytes.size() >= capacity_) {
      sink_.Write(bytes);
      return;
    }
  }
  buffer_.append(bytes);
}

void BufferedWriter::Flush() {
  if (!buffer_.empty()) {
    sink_.Write(buffer_);
    buffer_.clear();
  }
}

}  // namespace sigilflip
