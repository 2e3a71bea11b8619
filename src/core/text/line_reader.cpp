#include "text/line_reader.h"

#include <algorithm>

#include "text/rune_table.h"

namespace sigilflip {
namespace {

// A key candidate is settled by the five bytes after its first, a CR by the byte after it.
constexpr std::size_t kSettledBy = rune_key::kLength - 1;

}  // namespace

LineReader::LineReader(ByteSource& source, LineEnds ends, std::size_t capacity)
    : source_(source),
      terminator_(Terminator(ends)),
      capacity_(std::max(capacity, std::max(rune_key::kLength, kNameReadAhead))),
      storage_(
          std::make_unique_for_overwrite<char[]>(kScanUnderread + capacity_ + 1 + kScanOverread)),
      buffer_(storage_.get() + kScanUnderread) {
  static_assert(kScanUnderread == 2);
  // Before the stream, a line end: its first byte starts a line. Scans and look-ups read past the
  // data (and mask what they read there): that memory is set once so that it is defined.
  std::memcpy(storage_.get(), "\r\n", kScanUnderread);
  std::memset(buffer_ + capacity_, 0, 1 + kScanOverread);
}

LineReader::LineReader(ByteSource& source, std::size_t capacity)
    : LineReader(source, LineEnds::LineFeed, capacity) {
  decided_ = false;
}

std::string_view LineReader::Next() {
  for (;;) {
    if (restart_) {
      return {};
    }
    const std::size_t settled = Settled();
    if (settled > begin_) {
      const std::string_view chunk(buffer_ + begin_, settled - begin_);
      begin_ = settled;
      handedOut_ = true;
      return chunk;
    }
    if (atEnd_) {
      return {};
    }
    Fill();
  }
}

std::size_t LineReader::Settled() const {
  if (atEnd_) {
    return end_;
  }
  std::size_t settled = end_ > kSettledBy ? end_ - kSettledBy : 0;
  // Whether a LF follows a CR is settled by the byte after it.
  if (settled > 0 && buffer_[settled - 1] == '\r') {
    --settled;
  }
  return std::max(settled, begin_);
}

void LineReader::Fill() {
  if (begin_ > 0) {
    offset_ += begin_;
    std::memmove(buffer_ - kScanUnderread, buffer_ + begin_ - kScanUnderread,
                 end_ - begin_ + kScanUnderread);
    end_ -= begin_;
    begin_ = 0;
  }
  const std::size_t count = source_.Read(buffer_ + end_, capacity_ - end_);
  read_.Add(buffer_ + end_, count);
  if (!decided_) {
    Decide(buffer_ + end_, count);
  }
  end_ += count;
  if (count > 0) {
    return;
  }
  atEnd_ = true;
  // The last line ends at the end of the stream, as if a terminator followed it.
  if (end_ > begin_ && !StartsLine(buffer_ + end_, terminator_)) {
    buffer_[end_++] = terminator_;
  }
  // What lies after the stream settles nothing: no LF after a last CR, no key's '=' after a line.
  std::memset(buffer_ + end_, 0, kSettledBy + 1);
}

void LineReader::Decide(const char* bytes, std::size_t count) {
  if (count == 0) {
    decided_ = true;  // no CR to the end: LF it is
  } else if (MakesCarriageReturnFile({bytes, count})) {
    decided_ = true;
    terminator_ = '\r';
    restart_ = handedOut_;
  }
}

}  // namespace sigilflip
