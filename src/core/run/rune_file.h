#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>

#include "facts/run_failure.h"
#include "run/random_source.h"
#include "text/byte_stream.h"
#include "text/line_model.h"
#include "text/line_reader.h"
#include "text/read_hash.h"
#include "text/rune_places.h"
#include "text/rune_table.h"

namespace sigilflip {

// What the first pass learns of a source, for the second.
struct FirstPass {
  LineEnds ends;     // that the source uses
  RunePlaces found;  // in a CarriageReturn source
  ReadDigest read;   // of the source as the first pass read it
};

// A rune line that a chunk (LineReader::Next) ended inside, which goes on in the next chunks.
struct OpenRuneLine {
  int key = 0;  // 0: no line is open
  std::uint64_t start = 0;
  std::uint64_t resume = 0;  // where its value goes on in the stream
  std::string value;         // so far

  // Opens the line that starts at `at` in a chunk of `reader`, whose value the chunk holds as far
  // as `sofar` goes.
  void Open(const LineReader& reader, const char* at, int lineKey, std::string_view sofar) {
    key = lineKey;
    start = reader.OffsetOf(at);
    resume = reader.OffsetOf(sofar.data() + sofar.size());
    value.assign(sofar);
  }

  // Goes on with the line in `chunk`, the next of `reader`: adds what the chunk holds of the value,
  // and where the line ends in it, calls ended(key, start, next), `next` being the offset of the
  // line after it, moves `chunk` past the line and closes it.
  template <typename Ended>
  void GoOn(std::string_view& chunk, const LineReader& reader, Ended&& ended) {
    const std::uint64_t offset = reader.OffsetOf(chunk.data());
    const char* end = chunk.data() + chunk.size();
    const char* from = chunk.data() + std::min<std::uint64_t>(resume - offset, chunk.size());
    const char terminator = Terminator(reader.Ends());
    const auto* found = static_cast<const char*>(
        std::memchr(from, terminator, static_cast<std::size_t>(end - from)));
    value.append(from, static_cast<std::size_t>((found != nullptr ? found : end) - from));
    if (found == nullptr) {
      resume = std::max<std::uint64_t>(resume, offset + chunk.size());
      chunk = {};
      return;
    }
    const char* next = PastTerminator(found);
    ended(std::exchange(key, 0), start, reader.OffsetOf(next));
    chunk.remove_prefix(static_cast<std::size_t>(next - chunk.data()));
  }
};

// Whether `failure` is that of a source that changed between the passes.
inline bool IsChange(const RunFailure& failure) {
  return failure.kind == RunFailure::Kind::kChanged ||
         failure.kind == RunFailure::Kind::kChangedWhileReading;
}

// The first pass: adds the value of every rune line to `table`, which is empty, learns the line
// ends that the source uses as it goes, and records where the second pass rewrites, in up to
// `foundCap` bytes. Throws RunError when the source names more runes than the table holds (its
// failure names no file: the run that read it knows which). `capacity` is the size of the read
// buffer.
FirstPass CollectRunes(ByteSource& source, RuneTable& table,
                       std::size_t capacity = LineReader::kDefaultCapacity,
                       std::size_t foundCap = RunePlaces::kDefaultCap);

// The second pass: writes every line followed by CR LF to `sink`, a rune line as "RuneN=" and the
// new name of its rune, through a buffer of about `capacity` bytes, and hands the last of it on.
// `first` is what CollectRunes learned while it filled `table`. Throws RunError when the source is
// not what `first` read: a rune line names a rune the table does not hold, or it differs in any
// byte (the source changed since the first pass; see IsChange).
void RewriteRunes(ByteSource& source, const FirstPass& first, const RuneTable& table,
                  ByteSink& sink, std::size_t capacity = LineReader::kDefaultCapacity);

// One run over a source: the first pass into a new table, the scramble, then the second pass,
// which writes to the sink that `openSink` gives once the first pass is through (so that a run
// that fails before creates no output), flushed; a sink of its own each time it is called.
// `capacity` sizes the read and write buffers, `foundCap` the first pass's record. A source that
// changed between the passes is read again from the first pass, once, with the same draws: a
// change made during a run, or a cache that was stale, has most often settled by then. Returns the
// table, whose names are in `codePage`; throws RunError as the passes do.
RuneTable ShuffleRunes(ByteSource& source, RandomSource& random,
                       const std::function<ByteSink&()>& openSink,
                       std::size_t capacity = LineReader::kDefaultCapacity,
                       const CodePage& codePage = CodePage::Get(1252),
                       std::size_t foundCap = RunePlaces::kDefaultCap);

}  // namespace sigilflip
