// libFuzzer target: a whole run on arbitrary magic.ini bytes, checked against the rules of the
// rune file on every input; then both passes again through a read buffer of a few bytes and a
// first pass's record of a few places, which must give the same runes and the same output wherever
// the buffer cuts lines and line ends and the record ends; and the fast line scans held to the
// plain one on the chunks that the reader hands out.
#include <unistd.h>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "bytes/byte_stream.h"
#include "run/passes.h"
#include "run/random_source.h"
#include "run/sigilflipper.h"
#include "run_check.h"
#include "scan_events.h"
#include "text/line_reader.h"
#include "text/rune_table.h"

namespace {

namespace fs = std::filesystem;

// Draws taken from the input's own bytes, so the fuzzer steers the walk too, up to the largest
// draw below 1.
class InputDraws final : public sigilflip::RandomSource {
 public:
  explicit InputDraws(std::string_view bytes) : bytes_(bytes) {}
  float Next() override {
    if (bytes_.empty()) {
      return 0.0f;
    }
    const auto byte = static_cast<unsigned char>(bytes_[next_++ % bytes_.size()]);
    return byte == 0xFF ? 0.99999994f : static_cast<float>(byte) / 255.0f;
  }

 private:
  std::string_view bytes_;
  std::size_t next_ = 0;
};

const fs::path& Folder() {
  static const fs::path folder = [] {
    const fs::path base = fs::exists("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
    fs::path path = base / ("sigilflip-fuzz-" + std::to_string(getpid()));
    fs::create_directories(path);
    std::atexit([] { fs::remove_all(Folder()); });
    return path;
  }();
  return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const fs::path& folder = Folder();
  fs::remove(folder / sigilflip::kOutputName);
  std::ofstream(folder / sigilflip::kInputName, std::ios::binary | std::ios::trunc)
      .write(input.data(), static_cast<std::streamsize>(size));

  sigilflip::RuneTable table;
  InputDraws draws(input);
  const sigilflip::testing::RunOutcome outcome = sigilflip::testing::RunIn(folder, table, draws);
  const std::string problem = sigilflip::testing::CheckRun(input, outcome, table);
  if (!problem.empty()) {
    std::fprintf(stderr, "broken rule: %s\n", problem.c_str());
    std::abort();
  }
  if (outcome.succeeded) {
    const std::size_t capacity = size == 0 ? 6 : 6 + data[size - 1] % 64;
    // The first pass's record, of a few chunks' places or none: past it the second pass finds them.
    const std::size_t cap = size < 2 ? 0 : data[size - 2] % 64 * 16;
    // The same run on the text itself, with the same draws, small buffers and a small record.
    sigilflip::StringSource source(input);
    InputDraws sameDraws(input);
    sigilflip::StringSink sink;
    const sigilflip::RuneTable small = sigilflip::ShuffleRunes(
        source, sameDraws, [&]() -> sigilflip::ByteSink& { return sink; }, capacity,
        sigilflip::CodePage::Get(1252), cap);
    bool sameRunes = small.RuneCount() == table.RuneCount();
    for (sigilflip::Int16 slot = 1; sameRunes && slot <= table.RuneCount(); ++slot) {
      sameRunes = small.Runes(slot).Name == table.Runes(slot).Name &&
                  small.Runes(slot).NewName == table.Runes(slot).NewName;
    }
    if (!sameRunes || sink.Text() != outcome.output) {
      std::fprintf(stderr, "a read buffer of %zu bytes and a record of %zu give other %s\n",
                   capacity, cap, sameRunes ? "output" : "runes");
      std::abort();
    }
  }
  // The fast scans held to the plain one on each chunk that a reader of a few bytes hands out.
  sigilflip::StringSource chunks(input);
  sigilflip::LineReader reader(chunks, size == 0 ? 6 : 6 + data[0] % 64);
  for (std::string_view chunk; !(chunk = reader.Next()).empty();) {
    const std::string disagreement =
        sigilflip::testing::FastScansDisagree(chunk, sigilflip::Terminator(reader.Ends()));
    if (!disagreement.empty()) {
      std::fprintf(stderr, "%s\n", disagreement.c_str());
      std::abort();
    }
  }
  return 0;
}
