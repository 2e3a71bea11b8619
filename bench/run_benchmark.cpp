// A whole run against the I/O floor: reading the same file twice and writing a copy of it.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "magic_generator.h"
#include "random_source.h"
#include "rune_view.h"
#include "sigilflipper.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Counts what a run shows, and nothing more.
class CountingView final : public sigilflip::RuneView {
 public:
  void ClearList() override { items = 0; }
  void AddListItem(std::string_view) override { ++items; }
  void ShowWarning(std::string_view) override { ++warnings; }
  void ShowError(std::string_view message) override { error = message; }
  long items = 0;
  long warnings = 0;
  std::string error;
};

// A folder per file size, made once and removed at exit.
const fs::path& FolderFor(std::size_t bytes, int runes) {
  static const fs::path root =
      fs::temp_directory_path() / ("sigilflip-bench-" + std::to_string(getpid()));
  static std::map<std::size_t, fs::path> folders;
  static const bool cleanup = (std::atexit([] { fs::remove_all(root); }), true);
  (void)cleanup;
  auto [it, made] = folders.try_emplace(bytes, root / std::to_string(bytes));
  if (made) {
    fs::create_directories(it->second);
    sigilflip::bench::GenerateMagicIni(it->second / sigilflip::kInputName, bytes, runes);
  }
  return it->second;
}

// The floor: read the file twice and write a copy of it, with plain reads and writes; `durable`
// also syncs the copy to the disk before closing it, as a run does with magic-new.ini.
void CopyFloor(const fs::path& folder, bool durable) {
  static std::vector<char> buffer(64 * 1024);
  const int in = open((folder / sigilflip::kInputName).c_str(), O_RDONLY);
  for (int pass = 0; pass < 2; ++pass) {
    lseek(in, 0, SEEK_SET);
    const int out =
        pass == 1 ? open((folder / "floor-copy.ini").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644)
                  : -1;
    ssize_t count;
    while ((count = read(in, buffer.data(), buffer.size())) > 0) {
      if (out >= 0 && write(out, buffer.data(), static_cast<std::size_t>(count)) != count) {
        std::abort();
      }
    }
    if (out >= 0) {
      if (durable) {
        fsync(out);
      }
      close(out);
    }
  }
  close(in);
}

// Peak resident memory since the last reset, in MiB (Linux).
void ResetPeakMemory() {
  std::ofstream("/proc/self/clear_refs") << "5";
}
double PeakMemoryMiB() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmHWM:", 0) == 0) {
      return std::stod(line.substr(6)) / 1024.0;
    }
  }
  return 0.0;
}

void BM_Run(benchmark::State& state) {
  const auto bytes = static_cast<std::size_t>(state.range(0));
  const fs::path& folder = FolderFor(bytes, static_cast<int>(state.range(1)));
  const auto fileBytes = static_cast<double>(fs::file_size(folder / sigilflip::kInputName));

  double runSeconds = 0;
  double floorSeconds = 0;
  double syncedFloorSeconds = 0;
  double peakMiB = 0;
  for (auto _ : state) {
    sigilflip::RuneTable table;
    sigilflip::SeededRandom random(43210.5f);
    CountingView view;
    ResetPeakMemory();
    const auto start = Clock::now();
    const bool succeeded = sigilflip::Sigilflipper(table, folder, random, view);
    const auto ran = Clock::now();
    peakMiB = std::max(peakMiB, PeakMemoryMiB());
    CopyFloor(folder, false);
    const auto copied = Clock::now();
    CopyFloor(folder, true);
    const auto synced = Clock::now();
    if (!succeeded || view.items != state.range(1)) {
      state.SkipWithError(view.error.empty() ? "wrong mapping" : view.error.c_str());
      break;
    }
    const double run = std::chrono::duration<double>(ran - start).count();
    state.SetIterationTime(run);
    runSeconds += run;
    floorSeconds += std::chrono::duration<double>(copied - ran).count();
    syncedFloorSeconds += std::chrono::duration<double>(synced - copied).count();
  }
  const double runs = static_cast<double>(state.iterations());
  state.counters["run_MB/s"] = fileBytes / 1e6 / (runSeconds / runs);
  state.counters["floor_MB/s"] = fileBytes / 1e6 / (floorSeconds / runs);
  state.counters["run/floor"] = runSeconds / floorSeconds;
  state.counters["run/synced_floor"] = runSeconds / syncedFloorSeconds;
  state.counters["peak_RSS_MiB"] = peakMiB;
}

constexpr std::int64_t kMB = 1000 * 1000;
BENCHMARK(BM_Run)
    ->ArgNames({"bytes", "runes"})
    ->Args({20 * 1000, 60})
    ->Args({1 * kMB, 1000})
    ->Args({10 * kMB, 1000})
    ->Args({100 * kMB, 1000})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
