#pragma once

#include <cstddef>
#include <functional>

#include "bytes/byte_stream.h"
#include "bytes/read_hash.h"
#include "facts/run_failure.h"
#include "run/random_source.h"
#include "run/rune_places.h"
#include "text/line_model.h"
#include "text/line_reader.h"
#include "text/rune_table.h"

// The two passes over a rune file and the run that makes them. Each takes the file in chunks that
// hold every rune line whole (LineReader), finds its places (line_scan.h) and acts on each: the
// first adds each rune line's name to the table and records the places for the second, which
// writes the file again with each place rewritten.
namespace sigilflip {

// What the first pass learns of a source, for the second.
struct FirstPass {
  LineEnds ends;     // that the source uses
  RunePlaces found;  // in a CarriageReturn source
  ReadDigest read;   // of the source as the first pass read it
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
