// A run over a source: both passes and the scramble between them.
#include "rune_file.h"

#include "scrambler.h"

namespace sigilflip {

RuneTable ShuffleRunes(ByteSource& source, RandomSource& random,
                       const std::function<ByteSink&()>& openSink,
                       const std::filesystem::path& input, std::size_t capacity,
                       const CodePage& codePage, std::size_t foundCap) {
  RuneTable table(codePage);
  const FirstPass first = CollectRunes(source, table, input, capacity, foundCap);
  ScrambleRunes(table, random);
  source.Rewind();
  RewriteRunes(source, first, table, openSink(), input, capacity);
  return table;
}

}  // namespace sigilflip
