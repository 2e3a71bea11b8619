// The second pass: the source again, its rune lines rewritten and every line ended in CR LF.
#include <algorithm>
#include <bit>
#include <string>
#include <vector>

#include "run/rune_file.h"

namespace sigilflip {
namespace {

using rune_key::kOutput;
using rune_key::Output;

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

  struct Ending {
    const char* text;
    std::size_t size;
    std::size_t room;  // that Store needs: the size rounded up to whole blocks
  };

  explicit Endings(const RuneTable& table)
      : endings_(static_cast<std::size_t>(table.RuneCount()) + 1) {
    std::vector<std::size_t> offsets(endings_.size());
    for (Int16 slot = 1; slot <= table.RuneCount(); ++slot) {
      Ending& ending = endings_[static_cast<std::size_t>(slot)];
      offsets[static_cast<std::size_t>(slot)] = text_.size();
      text_ += table.Runes(slot).NewName;
      text_ += kLineEnd;
      ending.size = text_.size() - offsets[static_cast<std::size_t>(slot)];
      ending.room = (ending.size + kBlock - 1) / kBlock * kBlock;
      text_.resize(offsets[static_cast<std::size_t>(slot)] + ending.room);
    }
    for (std::size_t slot = 1; slot < endings_.size(); ++slot) {
      endings_[slot].text = text_.data() + offsets[slot];
    }
  }

  const Ending& Of(Int16 slot) const { return endings_[static_cast<std::size_t>(slot)]; }
  // The endings by slot, for a loop to hold in a local.
  const Ending* BySlot() const { return endings_.data(); }

  // Writes `ending` at `at`, which has room for it.
  static char* Store(char* at, const Ending& ending) {
    std::memcpy(at, ending.text, kBlock);  // an ending is never empty
    for (std::size_t i = kBlock; i < ending.size; i += kBlock) {
      std::memcpy(at + i, ending.text + i, kBlock);
    }
    return at + ending.size;
  }

 private:
  std::string text_;
  std::vector<Ending> endings_;  // by slot
};

// Writes at `to` the lines `before` a rune line, from the read buffer, then the rune line with
// `key` and `ending`; returns the position after them. `limit` is out.limit().
char* WriteRuneLine(OutputBuffer& out, const char* limit, char* to, std::string_view before,
                    int key, const Endings::Ending& ending) {
  if (OutputBuffer::Fits(to, limit, CopyRoom(before.size()) + sizeof kOutput[0] + ending.room)) {
    to = Copy(to, before);
    std::memcpy(to, kOutput[static_cast<std::size_t>(key)].data(), sizeof kOutput[0]);
    return Endings::Store(to + rune_key::kLength, ending);
  }
  to = out.Write(to, before);
  to = out.Write(to, Output(key));
  return out.Write(to, {ending.text, ending.size});
}

// Writes at `to` the line `before`, from the read buffer, then CR LF for its end.
char* WriteLineEnd(OutputBuffer& out, const char* limit, char* to, std::string_view before) {
  if (OutputBuffer::Fits(to, limit, CopyRoom(before.size()) + kLineEnd.size())) {
    to = Copy(to, before);
    std::memcpy(to, kLineEnd.data(), kLineEnd.size());
    return to + kLineEnd.size();
  }
  to = out.Write(to, before);
  return out.Write(to, kLineEnd);
}

// What the second pass knows of its source: what the first read, and what the passes write.
struct Rewrite {
  const FirstPass& first;
  const RuneTable& table;
  const Endings& endings;
  OutputBuffer& out;

  [[noreturn]] void Changed() const { throw RunError(RunFailure::Changed()); }

  // The ending of the rune in `slot`, found for a line that names `name`.
  const Endings::Ending& EndingOf(Int16 slot, std::string_view name) const {
    if (slot == 0) {
      throw RunError(RunFailure::ChangedWhileReading(std::string(StripSpaces(name))));
    }
    return endings.Of(slot);
  }

  // Writes a rune line: its key and the ending of the rune in `slot`, found for `name`.
  char* WriteLookedUp(char* to, int key, Int16 slot, std::string_view name) const {
    const Endings::Ending& ending = EndingOf(slot, name);
    to = out.Write(to, Output(key));
    return out.Write(to, {ending.text, ending.size});
  }

  // Writes the part `region` of `chunk`, a chunk of a CarriageReturn source at `offset` in it, at
  // `to`, with the places that `places` gives there rewritten; moves `places` past those places.
  // Returns the position after them in the output and where the chunk is written up to, which is
  // past `region` where a rune line in it ends later. A rune line that the chunk ends inside is
  // written, and left `open` for the rest of its bytes to be passed over. A place that is not what
  // the first pass found there stops the run.
  std::pair<char*, const char*> ReplayLines(std::string_view chunk, std::size_t region,
                                            std::uint64_t offset, RunePlaces::Reader& places,
                                            char* to, OpenRuneLine& open) const {
    const char* const data = chunk.data();
    const char* const end = data + chunk.size();
    const char* copyFrom = data;
    const char* const limit = out.limit();
    const Endings::Ending* const endingOf = endings.BySlot();
    // A copy in a local, which stores into the output cannot change.
    RunePlaces::Reader reader = places;
    for (RunePlaces::Place place; reader.Peek(place); reader.Skip(place)) {
      // Wraps for a place before the chunk, which lay in a line that it went on.
      const std::uint64_t inChunk = place.offset - offset;
      if (inChunk >= region) {
        if (place.offset < offset) {
          continue;
        }
        break;
      }
      const char* start = data + inChunk;
      // A source that changed since the first pass may not be what the record says (its digest
      // tells at the end): a place in a line rewritten already stops the run at once.
      if (start < copyFrom) {
        Changed();
      }
      const std::string_view before(copyFrom, static_cast<std::size_t>(start - copyFrom));
      if (place.key == 0) {
        to = WriteLineEnd(out, limit, to, before);
        copyFrom = PastTerminator(start, end);
        continue;
      }
      to = WriteRuneLine(out, limit, to, before, place.key,
                         endingOf[static_cast<std::size_t>(place.slot)]);
      const char* terminator = FindByte(start + rune_key::kLength, end, '\r');
      if (terminator == nullptr) {
        open.Open(place.key, place.offset, offset + chunk.size(), {});
        open.written = true;
        reader.Skip(place);
        copyFrom = end;
        break;
      }
      copyFrom = PastCarriageReturn(terminator, end);
    }
    places = reader;
    if (copyFrom < data + region) {
      to = out.Write(to, {copyFrom, static_cast<std::size_t>(data + region - copyFrom)});
      copyFrom = data + region;
    }
    return {to, copyFrom};
  }

  // Writes `chunk` at `to`, finding the places to rewrite with `scan`; returns the position after
  // it. A rune line that the chunk ends inside is left `open`, for its name to be gathered.
  template <typename Scan>
  char* ScanLines(Scan& scan, std::string_view chunk, char* to, OpenRuneLine& open,
                  const LineReader& reader) const {
    struct Writing {
      char* to;
      const char* copyFrom;
      Opening opening;
    };
    const Writing done = scan(
        chunk, Terminator(first.ends), Writing{to, chunk.data(), {}},
        [&](Writing& writing, const char* start, int key, std::string_view name, const char* next) {
          const std::string_view before(writing.copyFrom,
                                        static_cast<std::size_t>(start - writing.copyFrom));
          if (next == nullptr) {
            writing.to = out.Write(writing.to, before);
            writing.copyFrom = chunk.data() + chunk.size();
            writing.opening.Open(start, key, name);
            return;
          }
          writing.to = WriteRuneLine(out, out.limit(), writing.to, before, key,
                                     EndingOf(table.SlotOf(BufferedName{name}), name));
          writing.copyFrom = next;
        },
        [&](Writing& writing, const char* terminator) {
          writing.to = WriteLineEnd(
              out, out.limit(), writing.to,
              {writing.copyFrom, static_cast<std::size_t>(terminator - writing.copyFrom)});
          writing.copyFrom = terminator + 1;
        });
    done.opening.Keep(open, reader);
    return out.Write(done.to, {done.copyFrom, static_cast<std::size_t>(chunk.data() + chunk.size() -
                                                                       done.copyFrom)});
  }
};

}  // namespace

void RewriteRunes(ByteSource& source, const FirstPass& first, const RuneTable& table,
                  ByteSink& sink, std::size_t capacity) {
  const Endings endings(table);
  OutputBuffer out(sink, capacity);
  const Rewrite rewrite{first, table, endings, out};
  char* at = out.begin();
  LineReader reader(source, first.ends, capacity);
  const char terminator = Terminator(first.ends);
  // Bytes past those that the first pass read are looked at as the first pass would have: a rune
  // line there with a name the table does not hold is named.
  const std::uint64_t covered = std::min(first.found.CoveredUpTo(), first.read.size);
  RunePlaces::Reader places(first.found);
  OpenRuneLine open;
  WithFastestScan([&](auto scan) {
    for (std::string_view chunk; !(chunk = reader.Next()).empty();) {
      if (open.key != 0) {
        const int key = open.key;
        const char* next =
            open.GoOn(chunk, reader.OffsetOf(chunk.data()), terminator, !open.written);
        if (next == nullptr) {
          continue;
        }
        if (!open.written) {
          at = rewrite.WriteLookedUp(at, key, table.SlotOf(open.value), open.value);
        }
        chunk.remove_prefix(static_cast<std::size_t>(next - chunk.data()));
      }
      // The places that the first pass recorded are rewritten, and past them the pass finds the
      // places itself.
      const std::uint64_t offset = reader.OffsetOf(chunk.data());
      const std::size_t replayed =
          offset < covered
              ? static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), covered - offset))
              : 0;
      if (replayed > 0) {
        const auto [to, upTo] = rewrite.ReplayLines(chunk, replayed, offset, places, at, open);
        at = to;
        chunk.remove_prefix(static_cast<std::size_t>(upTo - chunk.data()));
      }
      if (!chunk.empty() && open.key == 0) {
        at = rewrite.ScanLines(scan, chunk, at, open, reader);
      }
    }
  });
  if (reader.Read() != first.read) {
    rewrite.Changed();
  }
  out.Flush(at);
}

}  // namespace sigilflip
