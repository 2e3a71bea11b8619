// The second pass: the source again, its rune lines rewritten and every line ended in CR LF.
#include <algorithm>
#include <bit>
#include <string>
#include <vector>

#include "rune_file.h"

namespace sigilflip {
namespace {

// The output keys, each padded to eight bytes so that it is stored as one word.
constexpr char kOutputKeys[6][8] = {"", "Rune1=", "Rune2=", "Rune3=", "Rune4=", "Rune5="};

std::string_view OutputKey(int key) {
  return {kOutputKeys[key], kRuneKeyLength};
}

// Bytes copied from the read buffer, which has kScanOverread readable bytes past its lines, are
// copied as one or two fixed stores of kShortCopy bytes when they are at most twice as many: most
// copies are the few lines between two rune lines, and a call would cost more than they do.
constexpr std::size_t kShortCopy = 32;
static_assert(kShortCopy <= kScanOverread);

// The room that Copy needs for `size` bytes.
std::size_t CopyRoom(std::size_t size) {
  return std::max(size, kShortCopy);
}

char* Copy(char* to, std::string_view bytes) {
  const std::size_t size = bytes.size();
  if (size <= 2 * kShortCopy) {
    std::memcpy(to, bytes.data(), kShortCopy);
    if (size > kShortCopy) {
      std::memcpy(to + size - kShortCopy, bytes.data() + size - kShortCopy, kShortCopy);
    }
  } else {
    std::memcpy(to, bytes.data(), size);
  }
  return to + size;
}

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

  // Whether the table has `slot`.
  bool Has(Int16 slot) const { return static_cast<std::size_t>(slot) - 1 < places_.size() - 1; }

  std::string_view Of(Int16 slot) const {
    const Place& place = places_[static_cast<std::size_t>(slot)];
    return {text_.data() + place.offset, place.size};
  }

  // Writes the ending `ending` (from Of) at `at`, which has room for it rounded up to a block.
  static char* Store(char* at, std::string_view ending) {
    std::memcpy(at, ending.data(), kBlock);  // an ending is never empty
    for (std::size_t i = kBlock; i < ending.size(); i += kBlock) {
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

// Writes at `to` the lines `before` a rune line, from the read buffer, then the rune line with
// `key` and `ending`; returns the position after them.
char* WriteRuneLine(OutputBuffer& out, char* to, std::string_view before, int key,
                    std::string_view ending) {
  if (out.Fits(to, CopyRoom(before.size()) + sizeof kOutputKeys[key] + Endings::Room(ending))) {
    to = Copy(to, before);
    std::memcpy(to, kOutputKeys[key], sizeof kOutputKeys[key]);
    return Endings::Store(to + kRuneKeyLength, ending);
  }
  to = out.Write(to, before);
  to = out.Write(to, OutputKey(key));
  return out.Write(to, ending);
}

// Writes at `to` the line `before`, from the read buffer, then CR LF for its end.
char* WriteLineEnd(OutputBuffer& out, char* to, std::string_view before) {
  if (out.Fits(to, CopyRoom(before.size()) + kLineEnd.size())) {
    to = Copy(to, before);
    std::memcpy(to, kLineEnd.data(), kLineEnd.size());
    return to + kLineEnd.size();
  }
  to = out.Write(to, before);
  return out.Write(to, kLineEnd);
}

// The first `byte` in [from, end), or nullptr. Most rune names are short: one vector look first.
const char* FindByte(const char* from, const char* end, char byte) {
#ifdef SIGILFLIP_SSE2
  // The read buffer has kScanOverread readable bytes past its lines.
  const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
  const auto left = static_cast<std::size_t>(end - from);
  const unsigned inside = left >= 16 ? 0xFFFFu : (1u << left) - 1;
  const unsigned found =
      static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(byte)))) & inside;
  if (found != 0) {
    return from + std::countr_zero(found);
  }
#endif
  return static_cast<const char*>(std::memchr(from, byte, static_cast<std::size_t>(end - from)));
}

// What the second pass knows of its source: what the first read, and what the passes write.
struct Rewrite {
  const FirstPass& first;
  const RuneTable& table;
  const Endings& endings;
  OutputBuffer& out;
  const std::filesystem::path& input;

  [[noreturn]] void Changed() const { throw RunError(RunFailure::Changed(input)); }

  // The ending of the rune in `slot`, found for a line that names `name`.
  std::string_view EndingOf(Int16 slot, std::string_view name) const {
    if (slot == 0) {
      throw RunError(RunFailure::ChangedWhileReading(input, std::string(StripSpaces(name))));
    }
    return endings.Of(slot);
  }

  // Writes `lines`, whole lines of a CarriageReturn source at `offset` in it, at `to`, with the
  // places from `next` on that lie in them rewritten; returns the position after them and moves
  // `next` past those places. A place that is not what the first pass found there stops the run.
  char* ReplayLines(std::string_view lines, std::uint64_t offset, const std::uint64_t*& next,
                    char* to) const {
    const char* const data = lines.data();
    const char* const end = data + lines.size();
    const std::uint64_t* place = next;
    const std::uint64_t* const last = first.found.end();
    const char* copyFrom = data;
    for (; place != last; ++place) {
      // Wraps for a place before `lines`, which was in a line read in pieces.
      const std::uint64_t inLines = FoundLines::OffsetOf(*place) - offset;
      if (inLines >= lines.size()) {
        if (FoundLines::OffsetOf(*place) < offset) {
          continue;
        }
        break;
      }
      const char* start = data + inLines;
      const int key = FoundLines::KeyOf(*place);
      const Int16 slot = FoundLines::SlotOf(*place);
      // The first pass saw what the record says: anything else (a place in a line rewritten
      // already, a line end that is no CR, a line cut short) comes of a source that changed.
      if (start < copyFrom) {
        Changed();
      }
      const std::string_view before(copyFrom, static_cast<std::size_t>(start - copyFrom));
      if (key == 0) {
        if (*start != '\r') {
          Changed();
        }
        to = WriteLineEnd(out, to, before);
        copyFrom = PastTerminator(start, end);
        continue;
      }
      const char* terminator = end - start > static_cast<std::ptrdiff_t>(kRuneKeyLength) &&
                                       endings.Has(slot)
                                   ? FindByte(start + kRuneKeyLength, end, '\r')
                                   : nullptr;
      if (terminator == nullptr) {
        Changed();
      }
      to = WriteRuneLine(out, to, before, key, endings.Of(slot));
      copyFrom = PastTerminator(terminator, end);
    }
    next = place;
    return out.Write(to, {copyFrom, static_cast<std::size_t>(end - copyFrom)});
  }

  // Writes `lines`, whole lines, at `to`, finding the places to rewrite with `scan`; returns the
  // position after them.
  template <typename Scan>
  char* ScanLines(Scan& scan, std::string_view lines, char* to) const {
    const char* copyFrom = lines.data();
    scan(
        lines, Terminator(first.ends),
        [&](const char* start, int key, std::string_view name, const char* next) {
          const std::string_view before(copyFrom, static_cast<std::size_t>(start - copyFrom));
          to =
              WriteRuneLine(out, to, before, key, EndingOf(table.SlotOf(BufferedName{name}), name));
          copyFrom = next;
        },
        [&](const char* terminator) {
          to = WriteLineEnd(out, to, {copyFrom, static_cast<std::size_t>(terminator - copyFrom)});
          copyFrom = terminator + 1;
        });
    return out.Write(to,
                     {copyFrom, static_cast<std::size_t>(lines.data() + lines.size() - copyFrom)});
  }
};

}  // namespace

void RewriteRunes(ByteSource& source, const FirstPass& first, const RuneTable& table,
                  ByteSink& sink, const std::filesystem::path& input, std::size_t capacity) {
  const Endings endings(table);
  OutputBuffer out(sink, capacity);
  const Rewrite rewrite{first, table, endings, out, input};
  char* at = out.begin();
  LineReader reader(source, first.ends, capacity);
  // Bytes past those that the first pass read are looked at as the first pass would have: a rune
  // line there with a name the table does not hold is named.
  const std::uint64_t covered = std::min(first.found.CoveredUpTo(), first.fingerprint.Size());
  const std::uint64_t* next = first.found.begin();
  WithFastestScan([&](auto scan) {
    ForEachLine(
        reader,
        [&](std::string_view lines) {
          // Lines that end in CR LF are copied as they stand; the places that the first pass
          // recorded are rewritten, and past them the pass finds the places itself.
          const std::uint64_t offset = reader.OffsetOf(lines.data());
          const std::size_t replayed = offset < covered
                                           ? static_cast<std::size_t>(std::min<std::uint64_t>(
                                                 lines.size(), covered - offset))
                                           : 0;
          if (replayed > 0) {
            at = rewrite.ReplayLines(lines.substr(0, replayed), offset, next, at);
          }
          if (replayed < lines.size()) {
            at = rewrite.ScanLines(scan, lines.substr(replayed), at);
          }
        },
        [&](int key, std::string_view name, std::uint64_t) {
          at = out.Write(at, OutputKey(key));
          at = out.Write(at, rewrite.EndingOf(table.SlotOf(name), name));
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
  if (!(reader.Fingerprint() == first.fingerprint)) {
    rewrite.Changed();
  }
  out.Flush(at);
}

}  // namespace sigilflip
