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

// A source without the UTF-8 byte order mark at its very start (EF BB BF, as Notepad saves UTF-8):
// the mark is no part of the first line. Whether the source has one is known once it is read.
class WithoutByteOrderMark final : public ByteSource {
 public:
  static constexpr std::string_view kMark = "\xEF\xBB\xBF";

  explicit WithoutByteOrderMark(ByteSource& source) : source_(source) {}
  std::size_t Read(char* buffer, std::size_t size) override;
  void Rewind() override {
    source_.Rewind();
    started_ = false;
  }
  bool marked() const { return marked_; }

 private:
  ByteSource& source_;
  bool started_ = false;
  bool marked_ = false;
  std::string start_;  // the first bytes, where they are no mark, still to hand out
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

// Collects output for a sink in a buffer that callers write into directly. The write position is
// the caller's, in a local variable: kept here, it would be reloaded after every store through a
// char*. A caller asks whether what it writes fits once, then stores whole words.
class OutputBuffer {
 public:
  // `capacity` is at least kSmallestCapacity.
  OutputBuffer(ByteSink& sink, std::size_t capacity);

  static constexpr std::size_t kSmallestCapacity = 4096;

  // Where writing starts, and the end of the room.
  char* begin() const { return buffer_.get(); }
  const char* limit() const { return buffer_.get() + capacity_; }

  // Whether `size` bytes fit at `at`, before `limit` (from limit(), which a caller may keep in a
  // local): the one check of room before a caller stores at `at`.
  static bool Fits(const char* at, const char* limit, std::size_t size) {
    return size <= static_cast<std::size_t>(limit - at);
  }
  bool Fits(const char* at, std::size_t size) const { return Fits(at, limit(), size); }
  // Writes `bytes`, of any size, at `at`; returns the position after them.
  char* Write(char* at, std::string_view bytes);
  // Hands the bytes before `at` on; returns begin().
  char* Flush(char* at);

 private:
  ByteSink& sink_;
  std::size_t capacity_;
  std::unique_ptr<char[]> buffer_;
};

}  // namespace sigilflip
