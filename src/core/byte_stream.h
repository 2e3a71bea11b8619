#pragma once

#include <cstddef>
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
    if (bytes.size() <= capacity_ - used_) {
      std::memcpy(buffer_.get() + used_, bytes.data(), bytes.size());
      used_ += bytes.size();
    } else {
      WriteThrough(bytes);
    }
  }

  // Hands everything collected to the sink. Nothing is written on destruction.
  void Flush();

 private:
  void WriteThrough(std::string_view bytes);

  ByteSink& sink_;
  std::size_t capacity_;
  std::unique_ptr<char[]> buffer_;
  std::size_t used_ = 0;
};

}  // namespace sigilflip
