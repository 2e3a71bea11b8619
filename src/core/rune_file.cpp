#include "rune_file.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "windows1252.h"

namespace sigilflip {
namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::array<std::string_view, 6> kOutputKeys = {
    "", "Rune1=", "Rune2=", "Rune3=", "Rune4=", "Rune5="};

// Calls runeLine(keyNumber, value) for every rune line and otherPiece(piece) for every piece of
// every other line, in the order of the stream.
template <typename RuneLine, typename OtherPiece>
void ForEachLine(ByteSource& source, LineEnds ends, RuneLine&& runeLine, OtherPiece&& otherPiece) {
  LineReader reader(source, ends);
  LineReader::Piece piece;
  int key = 0;
  std::string value;  // a rune line that comes in several pieces
  while (reader.Next(piece)) {
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
      terminator_(ends == LineEnds::CarriageReturn ? '\r' : '\n'),
      capacity_(std::max(capacity, kRuneKeyLength)),
      buffer_(std::make_unique_for_overwrite<char[]>(capacity_)) {}

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

void CollectRunes(ByteSource& source, LineEnds ends, RuneTable& table, std::string_view inputName) {
  ForEachLine(
      source, ends,
      [&](int, std::string_view name) {
        if (!table.AddRune(name)) {
          throw RunError(std::string(inputName) + " names more than " +
                         std::to_string(RuneTable::kRuneSlots) +
                         " different runes. Sigilflip shuffles at most " +
                         std::to_string(RuneTable::kRuneSlots) + ".");
        }
      },
      [](const LineReader::Piece&) {});
}

void RewriteRunes(ByteSource& source, LineEnds ends, const RuneTable& table, BufferedWriter& out,
                  std::string_view inputName) {
  ForEachLine(
      source, ends,
      [&](int key, std::string_view name) {
        const RuneRecord* rune = table.FindRune(name);
        if (rune == nullptr) {
          throw RunError(std::string(inputName) +
                         " changed while Sigilflip was reading it: the rune \"" +
                         Utf8From1252(StripSpaces(name)) + "\" was not in it before.");
        }
        out.Write(kOutputKeys[static_cast<std::size_t>(key)]);
        out.Write(rune->NewName);
        out.Write(kLineEnd);
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

}  // namespace sigilflip
