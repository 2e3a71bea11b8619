#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "text/byte_stream.h"
#include "text/line_model.h"
#include "text/line_scan.h"
#include "text/read_hash.h"

namespace sigilflip {

// Splits a stream into lines without holding a whole line: a line comes as one or more pieces.
// The first piece of a line holds at least its first six bytes (the whole line when it is
// shorter), so that a rune key can be tested on it. The last line needs no terminator.
class LineReader {
 public:
  struct Piece {
    std::string_view text;
    bool first;       // the line starts with this piece
    bool last;        // the line ends with this piece
    bool endsInCrLf;  // text is followed in memory by the CR LF that ended it
    bool terminated;  // text is followed in memory by the terminator that ended its line
  };

  static constexpr std::size_t kDefaultCapacity = 64 * 1024;

  LineReader(ByteSource& source, LineEnds ends, std::size_t capacity = kDefaultCapacity);
  // A reader that learns the line ends from the source: LineFeed until it reads a CR. A CR in the
  // first read makes every line end at CR; a CR after lines were handed out as LineFeed lines
  // stops the reader (see RestartWithCarriageReturns).
  explicit LineReader(ByteSource& source, std::size_t capacity = kDefaultCapacity);

  // Where `at`, in text that the reader handed out, lies in the stream.
  std::uint64_t OffsetOf(const char* at) const {
    return offset_ + static_cast<std::uint64_t>(at - buffer_);
  }
  // Of every byte read so far.
  ReadDigest Read() const { return read_.Digest(); }
  std::uint64_t ReadSize() const { return read_.Size(); }

  LineEnds Ends() const {
    return terminator_ == '\r' ? LineEnds::CarriageReturn : LineEnds::LineFeed;
  }
  // The reader has read a CR after it handed out lines that ended in LF: those lines were not the
  // source's lines, and it hands out no more.
  bool RestartWithCarriageReturns() const { return restart_; }
  // No CR has been read yet, and the source has not ended.
  bool Undecided() const { return !decided_; }

  // The lines at the front of the buffer that are whole there, each with its terminator, and
  // past them; at least kScanUnderread readable bytes come before them and kScanOverread after.
  // Empty when there are none (a CR in the last byte waits for the next read, which tells whether a
  // LF follows), or when the reader is inside a line. The next line then comes from Next. The text
  // stays valid until the next call.
  std::string_view WholeLines();

  // The next piece; false at the end of the stream. A piece stays valid until the next call.
  bool Next(Piece& piece) {
    if (!skipLineFeed_) {
      const char* start = buffer_ + begin_;
      if (const void* end = std::memchr(start, terminator_, end_ - begin_)) {
        TakeLine(piece, start, static_cast<const char*>(end));
        return true;
      }
    }
    return NextSlow(piece);
  }

 private:
  // The rest of the line from `start` up to its terminator at `end`, which is in the buffer.
  void TakeLine(Piece& piece, const char* start, const char* end) {
    const char* next = PastTerminator(end, buffer_ + end_);
    const bool crLf = next - end == 2;
    begin_ = static_cast<std::size_t>(next - buffer_);
    // A CR in the last byte read: a LF in the next read belongs to it.
    skipLineFeed_ = *end == '\r' && !crLf && begin_ == end_;
    piece = {{start, static_cast<std::size_t>(end - start)}, atLineStart_, true, crLf, true};
    atLineStart_ = true;
  }

  bool NextSlow(Piece& piece);
  // Moves the unread bytes to the front of the buffer and reads more after them.
  void Fill();
  // Learns the line ends from `count` bytes just read.
  void Decide(const char* bytes, std::size_t count);

  ByteSource& source_;
  char terminator_;  // CR or LF
  std::size_t capacity_;
  // kScanUnderread bytes, then the buffer (capacity_), then kScanOverread bytes; only bytes read
  // are looked at.
  std::unique_ptr<char[]> storage_;
  char* buffer_;
  std::uint64_t offset_ = 0;  // of the buffer's first byte in the stream
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  bool atLineStart_ = true;
  bool skipLineFeed_ = false;  // the last line ended at a CR; a LF right after it belongs to it
  bool atEnd_ = false;
  bool decided_ = true;     // the line ends are known
  bool handedOut_ = false;  // lines have been handed out
  bool restart_ = false;
  ReadHash read_;
};

// Calls wholeLines(text) for runs of whole lines in the buffer, and for every other line
// runeLine(keyNumber, value, start) when it is a rune line, `start` being where the line starts in
// the stream, else otherPiece(piece) for each of its pieces; in the order of the stream.
template <typename WholeLines, typename RuneLine, typename OtherPiece>
void ForEachLine(LineReader& reader, WholeLines&& wholeLines, RuneLine&& runeLine,
                 OtherPiece&& otherPiece) {
  LineReader::Piece piece;
  int key = 0;
  std::uint64_t start = 0;
  std::string value;  // a rune line that comes in several pieces
  for (;;) {
    if (const std::string_view lines = reader.WholeLines(); !lines.empty()) {
      wholeLines(lines);
      continue;
    }
    if (!reader.Next(piece)) {
      break;
    }
    if (piece.first) {
      key = rune_key::Number(piece.text);
      start = reader.OffsetOf(piece.text.data());
      if (key != 0 && piece.last) {
        runeLine(key, piece.text.substr(rune_key::kLength), start);
        continue;
      }
      if (key != 0) {
        value.assign(piece.text.substr(rune_key::kLength));
      }
    } else if (key != 0) {
      value.append(piece.text);
    }
    if (key == 0) {
      otherPiece(piece);
    } else if (piece.last) {
      runeLine(key, std::string_view(value), start);
    }
  }
}

}  // namespace sigilflip
