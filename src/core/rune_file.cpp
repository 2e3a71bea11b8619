#include "rune_file.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "scrambler.h"

namespace sigilflip {
namespace {

// The output keys, each padded to eight bytes so that it is stored as one word.
constexpr char kOutputKeys[6][8] = {"", "Rune1=", "Rune2=", "Rune3=", "Rune4=", "Rune5="};

std::string_view OutputKey(int key) {
  return {kOutputKeys[key], kRuneKeyLength};
}

// Calls wholeLines(text) for runs of whole lines in the buffer, and for every other line
// runeLine(keyNumber, value) when it is a rune line, else otherPiece(piece) for each of its pieces;
// in the order of the stream.
template <typename WholeLines, typename RuneLine, typename OtherPiece>
void ForEachLine(LineReader& reader, WholeLines&& wholeLines, RuneLine&& runeLine,
                 OtherPiece&& otherPiece) {
  LineReader::Piece piece;
  int key = 0;
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
      key = RuneKeyNumber(piece.text);
      if (key != 0 && piece.last) {
        runeLine(key, piece.text.substr(kRuneKeyLength));
        continue;
      }
      if (key != 0) {
        value.assign(piece.text.substr(kRuneKeyLength));
      }
    } else if (key != 0) {
      value.append(piece.text);
    }
    if (key == 0) {
      otherPiece(piece);
    } else if (piece.last) {
      runeLine(key, std::string_view(value));
    }
  }
}

}  // namespace

LineReader::LineReader(ByteSource& source, LineEnds ends, std::size_t capacity)
    : source_(source),
      terminator_(Terminator(ends)),
      capacity_(std::max(capacity, std::max(kRuneKeyLength, kNameReadAhead))),
      buffer_(std::make_unique_for_overwrite<char[]>(capacity_ + kScanOverread)) {
  // Scans and look-ups read past the data (and mask what they read there): that memory is
  // allocated, and set once so that it is defined.
  std::memset(buffer_.get() + capacity_, 0, kScanOverread);
}

LineReader::LineReader(ByteSource& source, std::size_t capacity)
    : LineReader(source, LineEnds::LineFeed, capacity) {
  decided_ = false;
}

std::string_view LineReader::WholeLines() {
  if (!atLineStart_ || skipLineFeed_ || restart_) {
    return {};
  }
  const char* start = buffer_.get() + begin_;
  const char* end = buffer_.get() + end_;
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
    std::memmove(buffer_.get(), buffer_.get() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  const std::size_t count = source_.Read(buffer_.get() + end_, capacity_ - end_);
  if (!decided_) {
    Decide(buffer_.get() + end_, count);
  }
  end_ += count;
  atEnd_ = count == 0;
}

void LineReader::Decide(const char* bytes, std::size_t count) {
  if (count == 0) {
    decided_ = true;  // no CR to the end: LF it is
  } else if (std::memchr(bytes, '\r', count) != nullptr) {
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
    const char* start = buffer_.get() + begin_;
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
      piece = {{start, available}, atLineStart_, true, false};
      begin_ = end_;
      atLineStart_ = true;
      return true;
    }
    if (available == capacity_) {
      // A line longer than the buffer: hand on what there is and go on with the rest.
      piece = {{start, available}, atLineStart_, false, false};
      begin_ = end_;
      atLineStart_ = false;
      return true;
    }
    Fill();
  }
}

namespace {

// Reads on to the end of the source; true if a CR comes.
bool CarriageReturnFollows(ByteSource& source) {
  std::array<char, 16 * 1024> buffer;
  while (const std::size_t count = source.Read(buffer.data(), buffer.size())) {
    if (std::memchr(buffer.data(), '\r', count) != nullptr) {
      return true;
    }
  }
  return false;
}

struct TooManyRunes {};

// The first pass with `reader`. Returns false when the reader stopped for a CR found too late.
bool CollectFrom(LineReader& reader, RuneTable& table) {
  const auto add = [&](auto name) {
    if (!table.AddRune(name)) {
      throw TooManyRunes{};
    }
  };
  WithFastestScan([&](auto scan) {
    ForEachLine(
        reader,
        [&](std::string_view lines) {
          scan(
              lines, Terminator(reader.Ends()),
              [&](const char*, int, std::string_view name, const char*) {
                add(BufferedName{name});
              },
              IgnoreOddEnds{});
        },
        [&](int, std::string_view name) { add(name); }, [](const LineReader::Piece&) {});
  });
  return !reader.RestartWithCarriageReturns();
}

// The first pass with `reader`; false when the lines it read were not the source's: a CR came
// after lines taken to end in LF.
bool CollectWith(LineReader& reader, ByteSource& source, RuneTable& table,
                 const std::filesystem::path& input) {
  try {
    return CollectFrom(reader, table);
  } catch (const TooManyRunes&) {
    if (reader.Undecided() && CarriageReturnFollows(source)) {
      return false;
    }
    throw RunError(RunFailure::TooManyRunes(input, RuneTable::kRuneSlots));
  }
}

}  // namespace

LineEnds CollectRunes(ByteSource& source, RuneTable& table, const std::filesystem::path& input,
                      std::size_t capacity) {
  LineReader reader(source, capacity);
  if (CollectWith(reader, source, table, input)) {
    return reader.Ends();
  }
  // The file's lines end in CR, from its first byte.
  table.Reset();
  source.Rewind();
  LineReader again(source, LineEnds::CarriageReturn, capacity);
  CollectWith(again, source, table, input);
  return LineEnds::CarriageReturn;
}

namespace {

// What follows the key on each rune's lines: its new name and the line end, side by side, each
// padded to whole blocks so that it is stored a block at a time.
class Endings {
 public:
  static constexpr std::size_t kBlock = 32;

  explicit Endings(const RuneTable& table)
      : places_(static_cast<std::size_t>(table.RuneCount()) + 1) {
    for (Int16 slot = 1; slot <= table.RuneCount(); ++slot) {
      Place& place = places_[static_cast<std::size_t>(slot)];
      place.offset = text_.size();
      text_ += table.Runes(slot).NewName;
      text_ += kLineEnd;
      place.size = text_.size() - place.offset;
      text_.resize(place.offset + Room(Of(slot)));
    }
  }

  std::string_view Of(Int16 slot) const {
    const Place& place = places_[static_cast<std::size_t>(slot)];
    return {text_.data() + place.offset, place.size};
  }

  // Writes the ending `ending` (from Of) at `at`, which has room for it rounded up to a block.
  static char* Store(char* at, std::string_view ending) {
    for (std::size_t i = 0; i < ending.size(); i += kBlock) {
      std::memcpy(at + i, ending.data() + i, kBlock);
    }
    return at + ending.size();
  }

  // The room that Store needs for `ending`.
  static std::size_t Room(std::string_view ending) {
    return (ending.size() + kBlock - 1) / kBlock * kBlock;
  }

 private:
  struct Place {
    std::size_t offset = 0;
    std::size_t size = 0;
  };
  std::string text_;
  std::vector<Place> places_;  // by slot
};

}  // namespace

void RewriteRunes(ByteSource& source, LineEnds ends, const RuneTable& table, ByteSink& sink,
                  const std::filesystem::path& input, std::size_t capacity) {
  const Endings endings(table);
  // The ending of the rune in `slot`, found for a line that names `name`.
  const auto endingOf = [&](Int16 slot, std::string_view name) {
    if (slot == 0) {
      throw RunError(RunFailure::ChangedWhileReading(input, std::string(StripSpaces(name))));
    }
    return endings.Of(slot);
  };
  OutputBuffer out(sink, capacity);
  char* at = out.begin();
  LineReader reader(source, ends, capacity);
  WithFastestScan([&](auto scan) {
    ForEachLine(
        reader,
        [&](std::string_view lines) {
          // Lines that end in CR LF are copied as they stand, many at a time; a rune line is
          // rewritten, and any other line end becomes CR LF.
          char* to = at;
          const char* limit = out.limit();
          const char* copyFrom = lines.data();
          scan(
              lines, Terminator(ends),
              [&](const char* start, int key, std::string_view name, const char* next) {
                const std::string_view ending = endingOf(table.SlotOf(BufferedName{name}), name);
                const auto before = static_cast<std::size_t>(start - copyFrom);
                // The lines before, the key as one word and the ending in blocks, in one room.
                if (before + 8 + Endings::Room(ending) <= static_cast<std::size_t>(limit - to)) {
                  std::memcpy(to, copyFrom, before);
                  std::memcpy(to + before, kOutputKeys[key], 8);
                  to = Endings::Store(to + before + kRuneKeyLength, ending);
                } else {
                  to = out.Write(to, {copyFrom, before});
                  to = out.Write(to, OutputKey(key));
                  to = out.Write(to, ending);
                }
                copyFrom = next;
              },
              [&](const char* terminator) {
                const auto before = static_cast<std::size_t>(terminator - copyFrom);
                if (before + kLineEnd.size() <= static_cast<std::size_t>(limit - to)) {
                  std::memcpy(to, copyFrom, before);
                  std::memcpy(to + before, kLineEnd.data(), kLineEnd.size());
                  to += before + kLineEnd.size();
                } else {
                  to = out.Write(to, {copyFrom, before});
                  to = out.Write(to, kLineEnd);
                }
                copyFrom = terminator + 1;
              });
          at = out.Write(
              to, {copyFrom, static_cast<std::size_t>(lines.data() + lines.size() - copyFrom)});
        },
        [&](int key, std::string_view name) {
          at = out.Write(at, OutputKey(key));
          at = out.Write(at, endingOf(table.SlotOf(name), name));
        },
        [&](const LineReader::Piece& piece) {
          if (piece.endsInCrLf) {
            at = out.Write(at, {piece.text.data(), piece.text.size() + kLineEnd.size()});
            return;
          }
          at = out.Write(at, piece.text);
          if (piece.last) {
            at = out.Write(at, kLineEnd);
          }
        });
  });
  out.Flush(at);
}

RuneTable ShuffleRunes(ByteSource& source, RandomSource& random,
                       const std::function<ByteSink&()>& openSink,
                       const std::filesystem::path& input, std::size_t capacity,
                       const CodePage& codePage) {
  RuneTable table(codePage);
  const LineEnds ends = CollectRunes(source, table, input, capacity);
  ScrambleRunes(table, random);
  source.Rewind();
  RewriteRunes(source, ends, table, openSink(), input, capacity);
  return table;
}

}  // namespace sigilflip
