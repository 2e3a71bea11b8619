// The first pass: the runes of a source, its line ends, and where the second pass rewrites.
#include <array>
#include <optional>

#include "run/passes.h"
#include "text/line_scan.h"

namespace sigilflip {
namespace {

// Reads on to the end of the source; true if its lines end in CR after all.
bool CarriageReturnFollows(ByteSource& source) {
  std::array<char, 16 * 1024> buffer;
  while (const std::size_t count = source.Read(buffer.data(), buffer.size())) {
    if (MakesCarriageReturnFile({buffer.data(), count})) {
      return true;
    }
  }
  return false;
}

struct TooManyRunes {};

// What the scan of a chunk works with, in a local of the scan (line_scan.h).
struct Collecting {
  RuneTable* table;
  RunePlaces::Writer record;
  std::uint64_t base;  // the offset in the source of the chunk, less its address

  std::uint64_t OffsetOf(const char* at) const {
    return base + reinterpret_cast<std::uintptr_t>(at);
  }
};

// What the scan calls for a rune line: its name added to the table, and its place recorded where
// kRecord holds; and for an odd line end, its place recorded.
template <bool kRecord>
struct AddRuneLine {
  void operator()(Collecting& state, const char* start, int key, std::string_view name,
                  const char* next) const {
    const Int16 slot = state.table->SlotAfterAdding(BufferedName{name});
    if (slot == 0) {
      throw TooManyRunes{};
    }
    if constexpr (kRecord) {
      state.record.Add(state.OffsetOf(start), state.OffsetOf(next), key, slot);
    }
  }
};
struct RecordOddEnd {
  void operator()(Collecting& state, const char* end, const char* next) const {
    state.record.Add(state.OffsetOf(end), state.OffsetOf(next), 0, 0);
  }
};

// The first pass with `reader`; false when the reader stopped for a CR found too late. Places are
// recorded while the reader reads CR line ends (the second pass rewrites every line end of a
// LineFeed file, and finds them itself) and while the record has room for a whole chunk's.
bool CollectFrom(LineReader& reader, RuneTable& table, RunePlaces& found) {
  WithFastestScan([&](auto scan) {
    for (std::string_view chunk; !(chunk = reader.Next()).empty();) {
      const std::uint64_t start = reader.OffsetOf(chunk.data());
      const char terminator = Terminator(reader.Ends());
      if (terminator == '\n' || !found.HasRoomFor(chunk.size())) {
        found.StopAt(start);
      }
      Collecting state{&table, found.Writing(),
                       start - reinterpret_cast<std::uintptr_t>(chunk.data())};
      if (found.Stopped()) {
        scan(chunk, terminator, state, AddRuneLine<false>{}, IgnoreOddEnds{});
      } else {
        found.Keep(scan(chunk, terminator, state, AddRuneLine<true>{}, RecordOddEnd{}).record);
      }
    }
  });
  return !reader.RestartWithCarriageReturns();
}

// The first pass with `reader`; false when the lines it read were not the source's: a CR came
// after lines taken to end in LF.
bool CollectWith(LineReader& reader, ByteSource& source, RuneTable& table, RunePlaces& found) {
  try {
    return CollectFrom(reader, table, found);
  } catch (const TooManyRunes&) {
    if (reader.Undecided() && CarriageReturnFollows(source)) {
      return false;
    }
    throw RunError(RunFailure::TooManyRunes(RuneTable::kRuneSlots));
  }
}

}  // namespace

FirstPass CollectRunes(ByteSource& source, RuneTable& table, std::size_t capacity,
                       std::size_t foundCap) {
  FirstPass first{LineEnds::CarriageReturn, RunePlaces(foundCap), {}};
  LineReader reader(source, capacity);
  std::optional<LineReader> again;
  if (!CollectWith(reader, source, table, first.found)) {
    // The file's lines end in CR, from its first byte.
    table.Reset();
    first.found = RunePlaces(foundCap);
    source.Rewind();
    CollectWith(again.emplace(source, LineEnds::CarriageReturn, capacity), source, table,
                first.found);
  }
  const LineReader& read = again ? *again : reader;
  first.ends = read.Ends();
  first.read = read.Read();
  // Nothing is recorded in a LineFeed source; in a CarriageReturn one, every place up to the end,
  // and the terminator that the reader adds to a last line that has none.
  first.found.StopAt(first.ends == LineEnds::LineFeed ? 0 : read.StreamEnd());
  return first;
}

}  // namespace sigilflip
