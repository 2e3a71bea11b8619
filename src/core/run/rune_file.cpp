// A run over a source: both passes and the scramble between them.
#include "run/rune_file.h"

#include "run/scrambler.h"

namespace sigilflip {

RuneTable ShuffleRunes(ByteSource& source, RandomSource& random,
                       const std::function<ByteSink&()>& openSink, std::size_t capacity,
                       const CodePage& codePage, std::size_t foundCap) {
  // A byte order mark is written back where it was, before the first line.
  WithoutByteOrderMark text(source);
  for (int read = 1;; ++read) {
    try {
      RuneTable table(codePage);
      const FirstPass first = CollectRunes(text, table, capacity, foundCap);
      const bool marked = text.marked();
      ScrambleRunes(table, random);
      text.Rewind();
      ByteSink& sink = openSink();
      if (marked) {
        sink.Write(WithoutByteOrderMark::kMark);
      }
      RewriteRunes(text, first, table, sink, capacity);
      if (text.marked() != marked) {
        throw RunError(RunFailure::Changed());
      }
      return table;
    } catch (const RunError& error) {
      if (read == 2 || !IsChange(error.failure())) {
        throw;
      }
      text.Rewind();
    }
  }
}

}  // namespace sigilflip
