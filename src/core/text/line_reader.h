#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

#include "text/byte_stream.h"
#include "text/line_model.h"
#include "text/line_scan.h"
#include "text/read_hash.h"

namespace sigilflip {

// Cuts a stream into chunks: runs of its bytes as far as every line start and line end in them is
// settled by the bytes read. A chunk may start and end inside a line; the scans tell line starts
// by the two bytes before each byte, which the reader keeps in front of every chunk ("\r\n" before
// the first, so that the stream starts a line). A rune line that a chunk ends inside goes on in
// the next. Memory stays bounded, whatever the lines' lengths.
class LineReader {
 public:
  static constexpr std::size_t kDefaultCapacity = 64 * 1024;

  LineReader(ByteSource& source, LineEnds ends, std::size_t capacity = kDefaultCapacity);
  // A reader that learns the line ends from the source: LineFeed until it reads a CR. A CR in the
  // first read makes every line end at CR; a CR after chunks were handed out as LineFeed lines
  // stops the reader (see RestartWithCarriageReturns).
  explicit LineReader(ByteSource& source, std::size_t capacity = kDefaultCapacity);

  // The next chunk, from where the last ended; empty at the end of the stream, or when the reader
  // stops. The kScanUnderread bytes before it are the stream's, and kScanOverread readable bytes
  // follow it: the stream's next bytes, as far as they were read, and at the end of the stream a
  // terminator after a last line that has none (which the digest of the stream leaves out), then
  // zeros. No chunk ends right after a CR but the last. A chunk stays valid until the next call.
  std::string_view Next();

  // Where `at`, in a chunk, lies in the stream.
  std::uint64_t OffsetOf(const char* at) const {
    return offset_ + static_cast<std::uint64_t>(at - buffer_);
  }
  // Where the stream ends, past the terminator added to a last line that has none; once Next has
  // handed out its last chunk.
  std::uint64_t StreamEnd() const { return offset_ + end_; }
  // Of every byte read so far.
  ReadDigest Read() const { return read_.Digest(); }

  LineEnds Ends() const {
    return terminator_ == '\r' ? LineEnds::CarriageReturn : LineEnds::LineFeed;
  }
  // The reader has read a CR after it handed out chunks as LineFeed lines: those were not the
  // source's lines, and it hands out no more.
  bool RestartWithCarriageReturns() const { return restart_; }
  // No CR has been read yet, and the source has not ended.
  bool Undecided() const { return !decided_; }

 private:
  // Moves the bytes not handed out, with the two before them, to the front of the buffer and
  // reads more after them.
  void Fill();
  // Learns the line ends from `count` bytes just read.
  void Decide(const char* bytes, std::size_t count);
  // Where the bytes settled by those read end.
  std::size_t Settled() const;

  ByteSource& source_;
  char terminator_;  // CR or LF
  std::size_t capacity_;
  // kScanUnderread bytes, then the buffer (capacity_ and a terminator), then kScanOverread bytes.
  std::unique_ptr<char[]> storage_;
  char* buffer_;
  std::uint64_t offset_ = 0;  // of the buffer's first byte in the stream
  std::size_t begin_ = 0;     // of the bytes not handed out yet
  std::size_t end_ = 0;       // of the bytes read (and a terminator the stream lacked)
  bool atEnd_ = false;
  bool decided_ = true;     // the line ends are known
  bool handedOut_ = false;  // chunks have been handed out
  bool restart_ = false;
  ReadHash read_;
};

}  // namespace sigilflip
