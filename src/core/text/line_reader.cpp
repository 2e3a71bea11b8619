#include "text/line_reader.h"

#include <algorithm>
#include <cstring>

#include "text/line_scan.h"
#include "text/rune_table.h"

namespace sigilflip {

LineReader::LineReader(ByteSource& source, LineEnds ends, std::size_t capacity)
    : source_(source),
      ends_(ends),
      capacity_(std::max(capacity, std::max(rune_key::kLength, kNameReadAhead))) {}

LineReader::LineReader(ByteSource& source, std::size_t capacity)
    : LineReader(source, LineEnds::LineFeed, capacity) {
  decided_ = false;
}

std::string_view LineReader::Next() {
  while (!restart_) {
    const std::size_t end = atEnd_ ? end_ : ChunkEnd();
    if (end > begin_) {
      const std::string_view chunk(buffer_ + begin_, end - begin_);
      begin_ = end;
      handedOut_ = true;
      return chunk;
    }
    if (atEnd_) {
      break;
    }
    Fill();
  }
  return {};
}

std::size_t LineReader::ChunkEnd() {
  if (end_ == begin_) {
    return begin_;
  }
  // A CR read last settles nothing: a LF may follow it. The bytes before unsearched_ hold no
  // line end: each byte is searched once, however short the reads.
  const char terminator = Terminator(ends_);
  const std::size_t settled = end_ - static_cast<std::size_t>(buffer_[end_ - 1] == '\r');
  const std::size_t from = std::max(begin_, unsearched_);
  const std::string_view searched(buffer_ + from, settled - std::min(settled, from));
  const std::size_t last = searched.rfind(terminator);
  if (last != std::string_view::npos) {
    return static_cast<std::size_t>(PastTerminator(searched.data() + last) - buffer_);
  }
  unsearched_ = std::max(from, settled);
  // Inside one line that fills the buffer: as far as read, unless it is a rune line (whose end the
  // buffer, grown, will hold).
  if (begin_ > 0 || end_ < capacity_ ||
      (StartsLine(buffer_, terminator) && rune_key::Number({buffer_, rune_key::kLength}) != 0)) {
    return begin_;
  }
  return unsearched_;
}

void LineReader::Fill() {
  // The first fill makes the buffer.
  const bool grow = storage_ == nullptr || (begin_ == 0 && end_ == capacity_);
  std::unique_ptr<char[]> grown;
  if (grow) {
    capacity_ *= storage_ == nullptr ? 1 : 2;
    grown = std::make_unique_for_overwrite<char[]>(kScanUnderread + capacity_ + 1 + kScanOverread);
    // Scans and look-ups read past the data (and mask what they read there): that memory is set
    // so that it is defined. Before the stream, a line end: its first byte starts a line.
    std::memset(grown.get() + kScanUnderread + capacity_, 0, 1 + kScanOverread);
    std::memcpy(grown.get(), "\r\n", kScanUnderread);
  }
  char* const to = grow ? grown.get() + kScanUnderread : buffer_;
  if (buffer_ != nullptr) {
    std::memmove(to - kScanUnderread, buffer_ + begin_ - kScanUnderread,
                 end_ - begin_ + kScanUnderread);
  }
  if (grow) {
    storage_ = std::move(grown);
  }
  buffer_ = to;
  offset_ += begin_;
  end_ -= begin_;
  unsearched_ -= std::min(unsearched_, begin_);
  begin_ = 0;
  const std::size_t count = source_.Read(buffer_ + end_, capacity_ - end_);
  read_.Add(buffer_ + end_, count);
  if (!decided_ && (count == 0 || MakesCarriageReturnFile({buffer_ + end_, count}))) {
    decided_ = true;
    restart_ = count != 0 && handedOut_;
    ends_ = count == 0 ? LineEnds::LineFeed : LineEnds::CarriageReturn;
  }
  end_ += count;
  if (count == 0) {
    atEnd_ = true;
    // The last line ends at the end of the stream, as if a terminator followed it; what lies
    // after settles nothing (no LF after a last CR, no key's '=' after a line).
    if (!StartsLine(buffer_ + end_, Terminator(ends_))) {
      buffer_[end_++] = Terminator(ends_);
    }
    std::memset(buffer_ + end_, 0, rune_key::kLength);
  }
}

}  // namespace sigilflip
