// The first pass: the runes of a source, its line ends, and where the second pass rewrites.
#include <array>
#include <optional>

#include "run/rune_file.h"

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

// The slot of the rune that `name` names, which `table` gets if it is new; throws TooManyRunes
// when the table is full.
template <typename Name>
Int16 AddedSlot(RuneTable& table, Name name) {
  const Int16 slot = table.SlotAfterAdding(name);
  if (slot == 0) {
    throw TooManyRunes{};
  }
  return slot;
}

// What the first pass's scan of a chunk works with, in a local of the scan (which the compiler
// keeps in registers, as it cannot what the scan reaches by reference).
struct Recording {
  RuneTable* table;
  RunePlaces::Writer writer;
  std::uint64_t base;  // the offset in the source of the chunk, less its address

  std::uint64_t OffsetOf(const char* at) const {
    return base + reinterpret_cast<std::uintptr_t>(at);
  }
};

// The first pass with `reader`. Returns false when the reader stopped for a CR found too late.
// Places are recorded while the reader reads CR line ends (the second pass rewrites every line end
// of a LineFeed file, and finds them itself) and while the record has room for a whole chunk's.
bool CollectFrom(LineReader& reader, RuneTable& table, RunePlaces& found) {
  OpenRuneLine open;
  WithFastestScan([&](auto scan) {
    for (std::string_view chunk; !(chunk = reader.Next()).empty();) {
      const char terminator = Terminator(reader.Ends());
      const bool recorded = terminator == '\r' && !found.Stopped();
      if (open.key != 0) {
        open.GoOn(chunk, reader, [&](int key, std::uint64_t start, std::uint64_t next) {
          const Int16 slot = AddedSlot(table, std::string_view(open.value));
          if (recorded && !found.Add(start, next, key, slot)) {
            found.StopAt(start);
          }
        });
      }
      const std::uint64_t start = reader.OffsetOf(chunk.data());
      if (recorded && !found.HasRoomFor(chunk.size())) {
        found.StopAt(start);
      }
      // A rune line that the chunk ends inside is left open.
      const auto opened = [&](const char* at, int key, std::string_view name) {
        open.Open(reader, at, key, name);
      };
      if (found.Stopped() || terminator == '\n') {
        scan(
            chunk, terminator, 0,
            [&](int&, const char* at, int key, std::string_view name, const char* next) {
              if (next == nullptr) {
                opened(at, key, name);
              } else {
                AddedSlot(table, BufferedName{name});
              }
            },
            IgnoreOddEnds{});
        continue;
      }
      const Recording done = scan(
          chunk, terminator,
          Recording{&table, found.Writing(),
                    start - reinterpret_cast<std::uintptr_t>(chunk.data())},
          [&](Recording& recording, const char* at, int key, std::string_view name,
              const char* next) {
            if (next == nullptr) {
              opened(at, key, name);
              return;
            }
            const Int16 slot = AddedSlot(*recording.table, BufferedName{name});
            recording.writer.Add(recording.OffsetOf(at), recording.OffsetOf(next), key, slot);
          },
          [](Recording& recording, const char* at) {
            recording.writer.Add(recording.OffsetOf(at), recording.OffsetOf(at + 1), 0, 0);
          });
      found.Keep(done.writer);
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
    first.found.Clear();
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
