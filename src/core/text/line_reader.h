#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "bytes/byte_stream.h"
#include "bytes/read_hash.h"
#include "text/line_model.h"

namespace sigilflip {

// Cuts a stream into chunks that hold every rune line whole: each ends after a line end, or inside
// a line that is no rune line, which streams through however long it is. Where the bytes read end
// inside a rune line, the reader reads on first, its buffer growing to the longest rune line (whose
// name the rune table holds whole anyway). The scans tell line starts by the two bytes before each
// byte, which the reader keeps in front of every chunk ("\r\n" before the first, so that the stream
// starts a line).
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
  // zeros. No chunk ends between a CR and its LF. A chunk stays valid until the next call.
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

  LineEnds Ends() const { return ends_; }
  // The reader has read a CR after it handed out chunks as LineFeed lines: those were not the
  // source's lines, and it hands out no more.
  bool RestartWithCarriageReturns() const { return restart_; }
  // No CR has been read yet, and the source has not ended.
  bool Undecided() const { return !decided_; }

 private:
  // Where the bytes read let the next chunk end: begin_ where they let none.
  std::size_t ChunkEnd();
  // Moves the bytes not handed out, with the two before them, to the front of a buffer (twice as
  // large where a rune line fills it) and reads more after them.
  void Fill();

  ByteSource& source_;
  LineEnds ends_;
  std::size_t capacity_;
  // kScanUnderread bytes, then the buffer (capacity_ and a terminator), then kScanOverread bytes.
  std::unique_ptr<char[]> storage_;
  char* buffer_ = nullptr;
  std::uint64_t offset_ = 0;    // of the buffer's first byte in the stream
  std::size_t begin_ = 0;       // of the bytes not handed out yet
  std::size_t end_ = 0;         // of the bytes read (and a terminator the stream lacked)
  std::size_t unsearched_ = 0;  // the bytes from begin_ to here hold no line end
  bool atEnd_ = false;
  bool decided_ = true;     // the line ends are known
  bool handedOut_ = false;  // chunks have been handed out
  bool restart_ = false;
  ReadHash read_;
};

}  // namespace sigilflip
