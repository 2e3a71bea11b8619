// The first pass: the runes of a source, its line ends, and where the second pass rewrites.
#include <array>

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

// The record of the places in some whole lines, as the scan of them goes.
struct Recording {
  RuneTable* table;
  RunePlaces::Writer writer;
  std::uint64_t base;  // the offset in the source of the lines, less their address
  bool full;           // a place did not fit

  Recording(RuneTable& runes, RunePlaces::Writer places, std::uint64_t start, const char* lines)
      : table(&runes),
        writer(places),
        base(start - reinterpret_cast<std::uintptr_t>(lines)),
        full(false) {}

  std::uint64_t OffsetOf(const char* at) const {
    return base + reinterpret_cast<std::uintptr_t>(at);
  }
};

// The first pass with `reader`. Returns false when the reader stopped for a CR found too late.
// Places are recorded while the reader reads CR line ends: the second pass rewrites every line end
// of a LineFeed file, and finds them itself.
bool CollectFrom(LineReader& reader, RuneTable& table, RunePlaces& found) {
  const auto record = [&](std::uint64_t offset, int key, Int16 slot, std::uint64_t lineStart) {
    if (reader.Ends() == LineEnds::CarriageReturn && !found.Add(offset, key, slot)) {
      found.StopAt(lineStart);
    }
  };
  std::uint64_t lineStart = 0;  // of the line that the last piece belongs to
  WithFastestScan([&](auto scan) {
    ForEachLine(
        reader,
        [&](std::string_view lines) {
          if (reader.Ends() == LineEnds::LineFeed) {
            scan(
                lines, '\n', 0,
                [&](int&, const char*, int, std::string_view name, const char*) {
                  AddedSlot(table, BufferedName{name});
                },
                IgnoreOddEnds{});
            return;
          }
          // Should the record fill up in these lines, it stops where they start.
          const std::uint64_t start = reader.OffsetOf(lines.data());
          const Recording done = scan(
              lines, '\r', Recording(table, found.Writing(), start, lines.data()),
              [](Recording& recording, const char* at, int key, std::string_view name,
                 const char*) {
                const Int16 slot = AddedSlot(*recording.table, BufferedName{name});
                recording.full |= !recording.writer.Add(recording.OffsetOf(at), key, slot);
              },
              [](Recording& recording, const char* at) {
                recording.full |= !recording.writer.Add(recording.OffsetOf(at), 0, 0);
              });
          if (done.full) {
            found.StopAt(start);  // the writer's places are not kept
          } else {
            found.Keep(done.writer);
          }
        },
        [&](int key, std::string_view name, std::uint64_t start) {
          record(start, key, AddedSlot(table, name), start);
        },
        [&](const LineReader::Piece& piece) {
          if (piece.first) {
            lineStart = reader.OffsetOf(piece.text.data());
          }
          if (piece.terminated && !piece.endsInCrLf) {
            record(reader.OffsetOf(piece.text.data() + piece.text.size()), 0, 0, lineStart);
          }
        });
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
  if (CollectWith(reader, source, table, first.found)) {
    first.ends = reader.Ends();
    first.read = reader.Read();
  } else {
    // The file's lines end in CR, from its first byte.
    table.Reset();
    first.found.Clear();
    source.Rewind();
    LineReader again(source, LineEnds::CarriageReturn, capacity);
    CollectWith(again, source, table, first.found);
    first.read = again.Read();
  }
  if (first.ends == LineEnds::LineFeed) {
    first.found.StopAt(0);  // nothing was recorded
  }
  return first;
}

}  // namespace sigilflip
