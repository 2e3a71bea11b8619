// The second pass: the source again, its rune lines rewritten and every line ended in CR LF.
#include <algorithm>
#include <bit>
#include <string>
#include <vector>

#include "run/rune_file.h"

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
    }
    for (std::size_t slot = 0; slot < endings_.size(); ++slot) {
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

// The output key of a place: a rune line's ("Rune1=" ...), none for a line end.
std::string_view KeyOf(int key) {
  return {rune_key::kOutput[static_cast<std::size_t>(key)].data(),
          key != 0 ? rune_key::kLength : 0};
}

// Writes at `to` the bytes `before` a place, from the read buffer, then the place: its key and
// `ending`; returns the position after them. `limit` is out.limit().
inline char* WritePlace(OutputBuffer& out, const char* limit, char* to, std::string_view before,
                        int key, const Endings::Ending& ending) {
  constexpr std::size_t kKeyRoom = sizeof rune_key::kOutput[0];
  if (OutputBuffer::Fits(to, limit, before.size() + kShortCopy + kKeyRoom + ending.room)) {
    to = Copy(to, before);
    std::memcpy(to, rune_key::kOutput[static_cast<std::size_t>(key)].data(), kKeyRoom);
    return Endings::Store(to + KeyOf(key).size(), ending);
  }
  to = out.Write(to, before);
  to = out.Write(to, KeyOf(key));
  return out.Write(to, {ending.text, ending.size});
}

// Where the second pass is in the first pass's record: the place that it is writing, which a chunk
// may have cut, with what is left of its gap and its length.
struct Replay {
  RunePlaces::Reader places;
  RunePlaces::Place place{};
  bool open = false;     // `place` is not passed yet
  bool written = false;  // its key and ending are written
};

// The second pass's writing: into `out`, the new names of `table`'s runes.
struct Rewrite {
  const RuneTable& table;
  const Endings& endings;
  OutputBuffer& out;

  // Writes at `to` the bytes `before` a rune line with `key`, whose rune, named `name`, is in
  // `slot`.
  char* WriteRune(char* to, std::string_view before, int key, Int16 slot,
                  std::string_view name) const {
    if (slot == 0) {  // a name that the first pass did not read
      throw RunError(RunFailure::ChangedWhileReading(std::string(StripSpaces(name))));
    }
    return WritePlace(out, out.limit(), to, before, key, endings.Of(slot));
  }

  // Writes `region`, bytes of the source that the record covers, at `to`, with the places that
  // `replay` gives rewritten; returns the position after them. A place may go on past the region,
  // and `replay` keeps what is left of it. The bytes are not looked at: should the source have
  // changed since the first pass, its digest tells.
  char* ReplayRegion(std::string_view region, Replay& replay, char* to) const {
    const char* at = region.data();
    const char* const end = at + region.size();
    if (replay.open) {
      to = GoOn(at, end, replay, to);
      if (replay.open) {
        return to;  // the region lies in the place
      }
    }
    // Most places lie in the region whole. In locals, which stores into the output cannot change.
    const char* const limit = out.limit();
    const Endings::Ending* const endingOf = endings.BySlot();
    RunePlaces::Reader places = replay.places;
    for (RunePlaces::Place place; places.Next(place);) {
      if (place.gap + place.length > static_cast<std::uint64_t>(end - at)) {
        replay = {places, place, true, false};
        return GoOn(at, end, replay, to);  // which goes on past the region
      }
      to = WritePlace(out, limit, to, {at, static_cast<std::size_t>(place.gap)}, place.key,
                      endingOf[place.slot]);
      at += place.gap + place.length;
    }
    replay.places = places;
    return out.Write(to, {at, static_cast<std::size_t>(end - at)});
  }

  // Goes on with the place that `replay` holds open, as far as `end`: copies what is left of its
  // gap, writes it, and passes over what is left of its bytes; moves `at` past them.
  char* GoOn(const char*& at, const char* end, Replay& replay, char* to) const {
    RunePlaces::Place& place = replay.place;
    const auto copied = std::min<std::uint64_t>(place.gap, static_cast<std::size_t>(end - at));
    to = out.Write(to, {at, static_cast<std::size_t>(copied)});
    at += copied;
    place.gap -= copied;
    if (place.gap == 0 && !replay.written) {
      to = WritePlace(out, out.limit(), to, {at, 0}, place.key, endings.Of(place.slot));
      replay.written = true;
    }
    const auto passed = std::min<std::uint64_t>(place.length, static_cast<std::size_t>(end - at));
    at += passed;
    place.length -= passed;
    replay.open = place.length > 0;  // a place has a byte at least, so it is open in its gap too
    return to;
  }

  // Writes `chunk` of `reader` at `to`, finding the places to rewrite with `scan`; returns the
  // position after it. A rune line that the chunk ends inside is left `open`, for its name to be
  // gathered.
  template <typename Scan>
  char* ScanLines(Scan& scan, std::string_view chunk, char* to, OpenRuneLine& open,
                  const LineReader& reader) const {
    struct Writing {
      char* to;
      const char* copyFrom;
      std::string_view Before(const char* at) const {
        return {copyFrom, static_cast<std::size_t>(at - copyFrom)};
      }
    };
    const char* const end = chunk.data() + chunk.size();
    const Writing done = scan(
        chunk, Terminator(reader.Ends()), Writing{to, chunk.data()},
        [&](Writing& writing, const char* start, int key, std::string_view name, const char* next) {
          if (next == nullptr) {
            writing.to = out.Write(writing.to, writing.Before(start));
            writing = {writing.to, end};
            open.Open(reader, start, key, name);
            return;
          }
          const Int16 slot = table.SlotOf(BufferedName{name});
          writing = {WriteRune(writing.to, writing.Before(start), key, slot, name), next};
        },
        [&](Writing& writing, const char* terminator) {
          writing = {WritePlace(out, out.limit(), writing.to, writing.Before(terminator), 0,
                                endings.Of(0)),
                     terminator + 1};
        });
    return out.Write(done.to, done.Before(end));
  }
};

}  // namespace

void RewriteRunes(ByteSource& source, const FirstPass& first, const RuneTable& table,
                  ByteSink& sink, std::size_t capacity) {
  const Endings endings(table);
  OutputBuffer out(sink, capacity);
  const Rewrite rewrite{table, endings, out};
  char* at = out.begin();
  LineReader reader(source, first.ends, capacity);
  // The bytes that the record covers are rewritten from it; past them the pass finds the places
  // itself, as the first pass did, and a rune line there with a name the table lacks is named.
  const std::uint64_t covered = first.found.CoveredUpTo();
  Replay replay{RunePlaces::Reader(first.found)};
  OpenRuneLine open;
  WithFastestScan([&](auto scan) {
    for (std::string_view chunk; !(chunk = reader.Next()).empty();) {
      const std::uint64_t offset = reader.OffsetOf(chunk.data());
      if (offset < covered) {
        const auto replayed = std::min<std::uint64_t>(chunk.size(), covered - offset);
        at = rewrite.ReplayRegion(chunk.substr(0, replayed), replay, at);
        chunk.remove_prefix(replayed);
      }
      if (open.key != 0) {
        const std::string_view from = chunk.substr(0, 0);
        open.GoOn(chunk, reader, [&](int key, std::uint64_t, std::uint64_t) {
          at = rewrite.WriteRune(at, from, key, table.SlotOf(open.value), open.value);
        });
      }
      if (!chunk.empty()) {
        at = rewrite.ScanLines(scan, chunk, at, open, reader);
      }
    }
  });
  if (reader.Read() != first.read) {
    throw RunError(RunFailure::Changed());
  }
  out.Flush(at);
}

}  // namespace sigilflip
