#include "text/line_reader.h"

#include <algorithm>

#include "text/rune_table.h"

namespace sigilflip {

LineReader::LineReader(ByteSource& source, LineEnds ends, std::size_t capacity)
    : source_(source),
      terminator_(Terminator(ends)),
      capacity_(std::max(capacity, std::max(rune_key::kLength, kNameReadAhead))),
      storage_(std::make_unique_for_overwrite<char[]>(kScanUnderread + capacity_ + kScanOverread)),
      buffer_(storage_.get() + kScanUnderread) {
  // Scans and look-ups read before and past the data (and mask what they read there): that memory
  // is allocated, and set once so that it is defined.
  std::memset(storage_.get(), 0, kScanUnderread);
  std::memset(buffer_ + capacity_, 0, kScanOverread);
}

LineReader::LineReader(ByteSource& source, std::size_t capacity)
    : LineReader(source, LineEnds::LineFeed, capacity) {
  decided_ = false;
}

std::string_view LineReader::WholeLines() {
  if (!atLineStart_ || skipLineFeed_ || restart_) {
    return {};
  }
  const char* start = buffer_ + begin_;
  const char* end = buffer_ + end_;
  // The lines up to the last terminator whose line's end is known: a CR in the last byte may have
  // its LF still to come, unless the stream has ended.
  if (terminator_ == '\r' && end > start && end[-1] == '\r' && !atEnd_) {
    --end;
  }
  while (end > start && end[-1] != terminator_ &&
         !(end[-1] == '\n' && end - 1 > start && PastTerminator(end - 2, end) == end)) {
    --end;
  }
  begin_ += static_cast<std::size_t>(end - start);
  return {start, static_cast<std::size_t>(end - start)};
}

void LineReader::Fill() {
  // Whatever was handed out moved begin_ on, and every Fill moves it back to 0.
  handedOut_ = handedOut_ || begin_ > 0;
  if (begin_ > 0) {
    offset_ += begin_;
    std::memmove(buffer_, buffer_ + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  const std::size_t count = source_.Read(buffer_ + end_, capacity_ - end_);
  read_.Add(buffer_ + end_, count);
  if (!decided_) {
    Decide(buffer_ + end_, count);
  }
  end_ += count;
  atEnd_ = count == 0;
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

bool LineReader::NextSlow(Piece& piece) {
  for (;;) {
    if (restart_) {
      return false;
    }
    if (skipLineFeed_ && begin_ < end_) {
      skipLineFeed_ = false;
      if (buffer_[begin_] == '\n') {
        ++begin_;
      }
    }
    const char* start = buffer_ + begin_;
    const std::size_t available = end_ - begin_;
    if (const void* hit = std::memchr(start, terminator_, available)) {
      TakeLine(piece, start, static_cast<const char*>(hit));
      return true;
    }
    if (atEnd_) {
      skipLineFeed_ = false;
      if (available == 0 && atLineStart_) {
        return false;
      }
      piece = {{start, available}, atLineStart_, true, false, false};
      begin_ = end_;
      atLineStart_ = true;
      return true;
    }
    if (available == capacity_) {
      // A line longer than the buffer: hand on what there is and go on with the rest.
      piece = {{start, available}, atLineStart_, false, false, false};
      begin_ = end_;
      atLineStart_ = false;
      return true;
    }
    Fill();
  }
}

}  // namespace sigilflip
