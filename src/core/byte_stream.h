#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

namespace sigilflip {

// A readable byte stream that can start again from its first byte. Throws on failure.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Reads up to `size` bytes into `buffer`; returns 0 only at the end.
  virtual std::size_t Read(char* buffer, std::size_t size) = 0;
  virtual void Rewind() = 0;
};

// A writable byte stream. Throws on failure.
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  virtual void Write(std::string_view bytes) = 0;
};

class StringSource final : public ByteSource {
 public:
  explicit StringSource(std::string_view text) : text_(text) {}
  std::size_t Read(char* buffer, std::size_t size) override;
  void Rewind() override { position_ = 0; }

 private:
  std::string_view text_;
  std::size_t position_ = 0;
};

class StringSink final : public ByteSink {
 public:
  void Write(std::string_view bytes) override { text_.append(bytes); }
  const std::string& Text() const { return text_; }

 private:
  std::string text_;
};

// Collects small writes and hands them on to a sink in large blocks.
class BufferedWriter {
 public:
  explicit BufferedWriter(ByteSink& sink, std::size_t capacity = 64 * 1024);

  void Write(std::string_view bytes) {
    if (bytes.size() > capacity_ - used_) {
      WriteThrough(bytes);
      return;
    }
    char* to = buffer_.get() + used_;
    const char* from = bytes.data();
    const std::size_t size = bytes.size();
    // Most writes are a name or a key: copied in place, without a call.
    if (size > 16) {
      std::memcpy(to, from, size);
    } else if (size >= 8) {
      CopyOverlapping<std::uint64_t>(to, from, size);
    } else if (size >= 4) {
      CopyOverlapping<std::uint32_t>(to, from, size);
    } else {
      for (std::size_t i = 0; i < size; ++i) {
        to[i] = from[i];
      }
    }
    used_ += size;
  }

  // Hands everything collected to the sink. Nothing is written on destruction.
  void Flush();

 private:
  // Copies `size` bytes, at least one Word and at most two, as a first and a last Word.
  template <typename Word>
  static void CopyOverlapping(char* to, const char* from, std::size_t size) {
    Word first;
    Word last;
    std::memcpy(&first, from, sizeof(Word));
    std::memcpy(&last, from + size - sizeof(Word), sizeof(Word));
    std::memcpy(to, &first, sizeof(Word));
    std::memcpy(to + size - sizeof(Word), &last, sizeof(Word));
  }

  void WriteThrough(std::string_view bytes);

  ByteSink& sink_;
  std::size_t capacity_;
  std::unique_ptr<char[]> buffer_;
  std::size_t used_ = 0;
};

}  // namespace sigilflip
