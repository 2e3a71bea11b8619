#include "rune_file.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "scrambler.h"
#include "windows1252.h"

namespace sigilflip {
namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::array<std::string_view, 6> kOutputKeys = {
    "", "Rune1=", "Rune2=", "Rune3=", "Rune4=", "Rune5="};

// Calls wholeLines(text) for runs of whole lines in the buffer, and for every other line
// runeLine(keyNumber, value) when it is a rune line, else otherPiece(piece) for each of its pieces;
// in the order of the stream.
template <typename WholeLines, typename RuneLine, typename OtherPiece>
void ForEachLine(ByteSource& source, LineEnds ends, std::size_t capacity, WholeLines&& wholeLines,
                 RuneLine&& runeLine, OtherPiece&& otherPiece) {
  LineReader reader(source, ends, capacity);
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

char Terminator(LineEnds ends) {
  return ends == LineEnds::CarriageReturn ? '\r' : '\n';
}

}  // namespace

LineEnds DetectLineEnds(ByteSource& source) {
  std::array<char, 16 * 1024> buffer;
  LineEnds ends = LineEnds::LineFeed;
  while (const std::size_t count = source.Read(buffer.data(), buffer.size())) {
    if (std::memchr(buffer.data(), '\r', count) != nullptr) {
      ends = LineEnds::CarriageReturn;
      break;
    }
  }
  source.Rewind();
  return ends;
}

LineReader::LineReader(ByteSource& source, LineEnds ends, std::size_t capacity)
    : source_(source),
      terminator_(Terminator(ends)),
      capacity_(std::max(capacity, kRuneKeyLength)),
      buffer_(std::make_unique_for_overwrite<char[]>(capacity_ + kScanOverread)) {
  // Scans read past the data: that memory is allocated, and set once so that it is defined.
  std::memset(buffer_.get() + capacity_, 0, kScanOverread);
}

std::string_view LineReader::WholeLines() {
  if (!atLineStart_ || skipLineFeed_) {
    return {};
  }
  const char* start = buffer_.get() + begin_;
  const char* end = buffer_.get() + end_;
  // The last terminator whose line end is known: a CR in the last byte is not, unless the stream
  // has ended.
  if (terminator_ == '\r' && end > start && end[-1] == '\r' && !atEnd_) {
    --end;
  }
  while (end > start && end[-1] != terminator_ &&
         !(terminator_ == '\r' && end[-1] == '\n' && end - 1 > start && end[-2] == '\r')) {
    --end;
  }
  begin_ += static_cast<std::size_t>(end - start);
  return {start, static_cast<std::size_t>(end - start)};
}

void LineReader::Fill() {
  if (begin_ > 0) {
    std::memmove(buffer_.get(), buffer_.get() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  const std::size_t count = source_.Read(buffer_.get() + end_, capacity_ - end_);
  end_ += count;
  atEnd_ = count == 0;
}

bool LineReader::NextSlow(Piece& piece) {
  for (;;) {
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

void CollectRunes(ByteSource& source, LineEnds ends, RuneTable& table, std::string_view inputName,
                  std::size_t capacity) {
  const auto add = [&](std::string_view name) {
    if (!table.AddRune(name)) {
      throw RunError(std::string(inputName) + " names more than " +
                     std::to_string(RuneTable::kRuneSlots) +
                     " different runes. Sigilflip shuffles at most " +
                     std::to_string(RuneTable::kRuneSlots) + ".");
    }
  };
  ForEachLine(
      source, ends, capacity,
      [&](std::string_view lines) {
        ScanLines(
            lines, Terminator(ends),
            [&](const char*, int, std::string_view name, const char*) { add(name); },
            [](const char*) {});
      },
      [&](int, std::string_view name) { add(name); }, [](const LineReader::Piece&) {});
}

void RewriteRunes(ByteSource& source, LineEnds ends, const RuneTable& table, BufferedWriter& out,
                  std::string_view inputName, std::size_t capacity) {
  // What follows the key on each rune's lines: its new name and the line end.
  std::vector<std::string> endings(static_cast<std::size_t>(table.RuneCount()) + 1);
  for (Int16 slot = 1; slot <= table.RuneCount(); ++slot) {
    endings[static_cast<std::size_t>(slot)] = table.Runes(slot).NewName + std::string(kLineEnd);
  }
  // Writes what follows the key on a line that names the rune `name`.
  const auto writeEnding = [&](std::string_view name) {
    const Int16 slot = table.SlotOf(name);
    if (slot == 0) {
      throw RunError(std::string(inputName) +
                     " changed while Sigilflip was reading it: the rune \"" +
                     Utf8From1252(StripSpaces(name)) + "\" was not in it before.");
    }
    out.Write(endings[static_cast<std::size_t>(slot)]);
  };
  ForEachLine(
      source, ends, capacity,
      [&](std::string_view lines) {
        // Lines that end in CR LF are copied as they stand, many at a time; a rune line is
        // rewritten, and any other line end becomes CR LF.
        const char* copyFrom = lines.data();
        const auto copyTo = [&](const char* end) {
          out.Write({copyFrom, static_cast<std::size_t>(end - copyFrom)});
        };
        ScanLines(
            lines, Terminator(ends),
            [&](const char* start, int key, std::string_view name, const char* next) {
              // A key spelled as it is written goes out with the lines before it.
              const std::string_view outputKey = kOutputKeys[static_cast<std::size_t>(key)];
              if (std::memcmp(start, outputKey.data(), kRuneKeyLength) == 0) {
                copyTo(name.data());
              } else {
                copyTo(start);
                out.Write(outputKey);
              }
              writeEnding(name);
              copyFrom = next;
            },
            [&](const char* terminator) {
              copyTo(terminator);
              out.Write(kLineEnd);
              copyFrom = terminator + 1;
            });
        copyTo(lines.data() + lines.size());
      },
      [&](int key, std::string_view name) {
        out.Write(kOutputKeys[static_cast<std::size_t>(key)]);
        writeEnding(name);
      },
      [&](const LineReader::Piece& piece) {
        if (piece.endsInCrLf) {
          out.Write({piece.text.data(), piece.text.size() + kLineEnd.size()});
          return;
        }
        out.Write(piece.text);
        if (piece.last) {
          out.Write(kLineEnd);
        }
      });
}

RuneTable ShuffleRunes(ByteSource& source, RandomSource& random,
                       const std::function<ByteSink&()>& openSink, std::string_view inputName,
                       std::size_t capacity) {
  RuneTable table;
  const LineEnds ends = DetectLineEnds(source);
  CollectRunes(source, ends, table, inputName, capacity);
  ScrambleRunes(table, random);
  source.Rewind();
  BufferedWriter out(openSink(), capacity);
  RewriteRunes(source, ends, table, out, inputName, capacity);
  out.Flush();
  return table;
}

}  // namespace sigilflip
