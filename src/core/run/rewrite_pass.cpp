// The second pass: the source again, its rune lines rewritten and every line ended in CR LF.
#include <algorithm>
#include <bit>
#include <string>
#include <vector>

#include "run/passes.h"
#include "text/line_scan.h"

namespace sigilflip {
namespace {

// Bytes copied from the read buffer, which has kScanOverread readable bytes past its lines, are
// copied as one or two fixed stores of kShortCopy bytes when they are at most twice as many: most
// copies are the few lines between two rune lines, and a call would cost more than they do.
constexpr std::size_t kShortCopy = 32;
static_assert(kShortCopy <= kScanOverread);

// Copies `bytes` to `to`, which has room for kShortCopy bytes more.
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

// What a place writes after its key: for each rune, its new name and the line end; for a line end
// (slot 0), the line end alone; each padded to whole blocks, so that it is stored a block at a
// time.
class Endings {
 public:
  static constexpr std::size_t kBlock = 32;

  struct Ending {
    const char* text;
    std::size_t size;
    std::size_t room;  // that Store needs: the size rounded up to whole blocks
  };

  explicit Endings(const RuneTable& table) {
    std::vector<std::size_t> offsets;
    for (Int16 slot = 0; slot <= table.RuneCount(); ++slot) {
      offsets.push_back(text_.size());
      if (slot > 0) {
        text_ += table.Runes(slot).NewName;
      }
      text_ += kLineEnd;
      const std::size_t size = text_.size() - offsets.back();
      endings_.push_back({nullptr, size, (size + kBlock - 1) / kBlock * kBlock});
      text_.resize(offsets.back() + endings_.back().room);
      room_ = std::max(room_, endings_.back().room);
    }
    for (std::size_t slot = 0; slot < endings_.size(); ++slot) {
      endings_[slot].text = text_.data() + offsets[slot];
    }
  }

  // The endings by slot, for a loop to hold in a local; the room that the longest needs.
  const Ending* BySlot() const { return endings_.data(); }
  std::size_t Room() const { return room_; }

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
  std::size_t room_ = 0;
};

// Where the second pass writes, and what it has copied: a local of the loops that write
// (line_scan.h says why).
struct Writing {
  static constexpr std::size_t kKeyRoom = sizeof rune_key::kOutput[0];

  OutputBuffer* out;
  const char* limit;  // out->limit()
  const Endings::Ending* endings;
  char* to;
  const char* copied;  // the bytes of the chunk before it are written

  // Writes the bytes before a place, from the read buffer, then the place, which lies in the chunk
  // from `start` to `next`: its key and the ending of `slot`.
  void Place(const char* start, const char* next, int key, Int16 slot) {
    Write({copied, static_cast<std::size_t>(start - copied)}, key, slot);
    copied = next;
  }

  // Writes `before` and a place's key and ending. Where the output's room left is too small (for
  // `before`, at the most), it is made once: the output holds the longest place.
  void Write(std::string_view before, int key, Int16 slot) {
    const Endings::Ending& ending = endings[static_cast<std::size_t>(slot)];
    if (!OutputBuffer::Fits(to, limit, before.size() + kShortCopy + kKeyRoom + ending.room)) {
      to = out->Flush(out->Write(to, before));
      before.remove_prefix(before.size());
    }
    to = Copy(to, before);
    std::memcpy(to, rune_key::kOutput[static_cast<std::size_t>(key)].data(), kKeyRoom);
    to = Endings::Store(to + (key != 0 ? rune_key::kLength : 0), ending);
  }
};

// Writes the places that the record holds in a chunk, which ends at `end`, from where `writing` has
// copied to: each whole, from `place`, the first the record gives that is not written yet, to the
// first that lies past the chunk, which `place` becomes. A function of its own: inlined into the
// pass, which holds its loop once for each instruction set's scan, its locals went to memory.
Writing Replay(Writing writing, const char* end, RunePlaces::Reader& record,
               RunePlaces::Place& place) {
  RunePlaces::Reader places = record;
  RunePlaces::Place next = place;
  const char* at = writing.copied;
  for (;; places.Next(next)) {
    const auto left = static_cast<std::uint64_t>(end - at);
    if (next.gap + next.length > left) {
      if (next.gap < left) {  // a place that the chunk cuts: the source changed
        throw RunError(RunFailure::Changed());
      }
      next.gap -= left;  // copied with the rest of the chunk
      break;
    }
    writing.Write({at, static_cast<std::size_t>(next.gap)}, next.key, next.slot);
    at += next.gap + next.length;
  }
  writing.copied = at;
  record = places;
  place = next;
  return writing;
}

}  // namespace

void RewriteRunes(ByteSource& source, const FirstPass& first, const RuneTable& table,
                  ByteSink& sink, std::size_t capacity) {
  const Endings endings(table);
  OutputBuffer out(sink, std::max(capacity, endings.Room() + kShortCopy + Writing::kKeyRoom));
  LineReader reader(source, first.ends, capacity);
  const auto runeLine = [&table](Writing& writing, const char* start, int key,
                                 std::string_view name, const char* next) {
    const Int16 slot = table.SlotOf(BufferedName{name});
    if (slot == 0) {  // a name that the first pass did not read
      throw RunError(RunFailure::ChangedWhileReading(std::string(StripSpaces(name))));
    }
    writing.Place(start, next, key, slot);
  };
  const auto oddEnd = [](Writing& writing, const char* end, const char* next) {
    writing.Place(end, next, 0, 0);
  };
  // The places that the record covers are written from it, without looking at the bytes: should
  // the source have changed since the first pass, its digest tells. Past them the pass finds the
  // places itself, as the first pass did.
  const std::uint64_t covered = first.found.CoveredUpTo();
  RunePlaces::Reader record(first.found);
  RunePlaces::Place place{};
  record.Next(place);
  char* to = out.begin();
  WithFastestScan([&](auto scan) {
    for (std::string_view chunk; !(chunk = reader.Next()).empty();) {
      const char* const end = chunk.data() + chunk.size();
      Writing writing{&out, out.limit(), endings.BySlot(), to, chunk.data()};
      writing = Replay(writing, end, record, place);
      const std::uint64_t offset = reader.OffsetOf(chunk.data());
      if (offset + chunk.size() > covered) {
        const char* const from = chunk.data() + (covered > offset ? covered - offset : 0);
        writing =
            scan(std::string_view(from, end), Terminator(first.ends), writing, runeLine, oddEnd);
      }
      to = out.Write(writing.to, {writing.copied, static_cast<std::size_t>(end - writing.copied)});
    }
  });
  if (reader.Read() != first.read) {
    throw RunError(RunFailure::Changed());
  }
  out.Flush(to);
}

}  // namespace sigilflip
