// A run over a source: both passes and the scramble between them.
#include "run/passes.h"

#include "run/scrambler.h"

#include <vector>

namespace sigilflip {
namespace {

// Hands out the draws of `random` and keeps them, so that a run that reads its source again draws
// the same numbers again: the same source gives the same shuffle, read again or not.
class RepeatableDraws final : public RandomSource {
 public:
  explicit RepeatableDraws(RandomSource& random) : random_(random) {}
  float Next() override {
    if (next_ == draws_.size()) {
      draws_.push_back(random_.Next());
    }
    return draws_[next_++];
  }
  void Again() { next_ = 0; }

 private:
  RandomSource& random_;
  std::vector<float> draws_;
  std::size_t next_ = 0;
};

}  // namespace

RuneTable ShuffleRunes(ByteSource& source, RandomSource& random,
                       const std::function<ByteSink&()>& openSink, std::size_t capacity,
                       const CodePage& codePage, std::size_t foundCap) {
  // A byte order mark is written back where it was, before the first line.
  WithoutByteOrderMark text(source);
  RepeatableDraws draws(random);
  for (int read = 1;; ++read) {
    try {
      RuneTable table(codePage);
      const FirstPass first = CollectRunes(text, table, capacity, foundCap);
      const bool marked = text.marked();
      ScrambleRunes(table, draws);
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
      draws.Again();
    }
  }
}

}  // namespace sigilflip
