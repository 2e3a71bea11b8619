// libFuzzer target: a whole run on arbitrary magic.ini bytes, checked against the rules of the
// rune file on every input.
#include <unistd.h>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "random_source.h"
#include "run_check.h"
#include "rune_table.h"
#include "sigilflipper.h"

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
  return 0;
}
