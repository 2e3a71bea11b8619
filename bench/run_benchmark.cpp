// A whole run against its I/O floors: reading the same file twice and writing a copy of it, plainly
// and as a durable replacement.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "magic_generator.h"
#include "run/random_source.h"
#include "run/sigilflipper.h"
#include "words/run_texts.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// A folder per file, made once and removed at exit.
const fs::path& FolderFor(std::size_t bytes, int runes, unsigned codePage, bool longNames) {
  static const fs::path root =
      fs::temp_directory_path() / ("sigilflip-bench-" + std::to_string(getpid()));
  static std::map<std::string, fs::path> folders;
  static const bool cleanup = (std::atexit([] { fs::remove_all(root); }), true);
  (void)cleanup;
  const std::string name =
      std::to_string(bytes) + "-" + std::to_string(codePage) + (longNames ? "-long" : "");
  auto [it, made] = folders.try_emplace(name, root / name);
  if (made) {
    fs::create_directories(it->second);
    sigilflip::bench::GenerateMagicIni(it->second / sigilflip::kInputName, bytes, runes, 1,
                                       codePage, longNames);
  }
  return it->second;
}

// The floors of a run, with plain reads and writes: read the file twice and write a copy of it to
// a fresh file (`Floor::Plain`); and the same with the copy synced to the disk and renamed over an
// existing file (`Floor::Synced`), the durable replacement that a run makes of magic-new.ini.
enum class Floor { Plain, Synced };

void CopyFloor(const fs::path& folder, Floor floor) {
  static std::vector<char> buffer(64 * 1024);
  const fs::path copy = folder / "floor-copy.tmp";
  const int in = open((folder / sigilflip::kInputName).c_str(), O_RDONLY);
  for (int pass = 0; pass < 2; ++pass) {
    lseek(in, 0, SEEK_SET);
    const int out = pass == 1 ? open(copy.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644) : -1;
    ssize_t count;
    while ((count = read(in, buffer.data(), buffer.size())) > 0) {
      if (out >= 0 && write(out, buffer.data(), static_cast<std::size_t>(count)) != count) {
        std::abort();
      }
    }
    if (out >= 0) {
      if (floor == Floor::Synced) {
        fsync(out);
      }
      close(out);
    }
  }
  close(in);
  if (floor == Floor::Synced) {
    std::rename(copy.c_str(), (folder / "floor-target.ini").c_str());
  }
}

// Time on the clock, and on the processor in the program and in the system for it.
struct Times {
  double wall = 0;
  double user = 0;
  double system = 0;
};

Times Now() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](timeval time) {
    return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) * 1e-6;
  };
  return {std::chrono::duration<double>(Clock::now().time_since_epoch()).count(),
          seconds(usage.ru_utime), seconds(usage.ru_stime)};
}

template <typename Work>
Times Measure(Work&& work) {
  const Times start = Now();
  work();
  const Times end = Now();
  return {end.wall - start.wall, end.user - start.user, end.system - start.system};
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
  const auto codePage = static_cast<unsigned>(state.range(2));
  const fs::path& folder =
      FolderFor(bytes, static_cast<int>(state.range(1)), codePage, state.range(3) != 0);
  const auto fileBytes = static_cast<double>(fs::file_size(folder / sigilflip::kInputName));

  // Both replacements have an old file to replace from the first measured iteration on.
  CopyFloor(folder, Floor::Synced);
  Times run;
  double floorSeconds = 0;
  double syncedFloorSeconds = 0;
  double peakMiB = 0;
  for (auto _ : state) {
    sigilflip::RuneTable table(sigilflip::CodePage::Get(codePage));
    sigilflip::SeededRandom random(sigilflip::SeedOf(43210.5f));
    ResetPeakMemory();
    sigilflip::RunTexts texts;  // the run's, in words, as the window shows them
    const Times thisRun = Measure([&] {
      texts = sigilflip::TextsOf(sigilflip::Sigilflipper(table, folder, random),
                                 sigilflip::CodePage::Get(codePage));
    });
    peakMiB = std::max(peakMiB, PeakMemoryMiB());
    floorSeconds += Measure([&] { CopyFloor(folder, Floor::Plain); }).wall;
    fs::remove(folder / "floor-copy.tmp");
    syncedFloorSeconds += Measure([&] { CopyFloor(folder, Floor::Synced); }).wall;
    if (texts.error || !texts.list || static_cast<long>(texts.list->size()) != state.range(1)) {
      state.SkipWithError(texts.error ? texts.error->c_str() : "wrong mapping");
      break;
    }
    state.SetIterationTime(thisRun.wall);
    run.wall += thisRun.wall;
    run.user += thisRun.user;
    run.system += thisRun.system;
  }
  const double runs = static_cast<double>(state.iterations());
  state.counters["run_MB/s"] = fileBytes / 1e6 / (run.wall / runs);
  state.counters["run_CPU_ms"] = (run.user + run.system) / runs * 1e3;
  state.counters["run_user_ms"] = run.user / runs * 1e3;
  state.counters["floor_ms"] = floorSeconds / runs * 1e3;
  state.counters["synced_floor_ms"] = syncedFloorSeconds / runs * 1e3;
  state.counters["run/floor"] = run.wall / floorSeconds;
  state.counters["run/synced_floor"] = run.wall / syncedFloorSeconds;
  state.counters["peak_RSS_MiB"] = peakMiB;
}

constexpr std::int64_t kMB = 1000 * 1000;
// Windows-1252, then each kind of code page on a file of its own names: single-byte (1251),
// double-byte (932), UTF-8; names of over 32 bytes, the longest that the table remembers as
// spelt, in Windows-1252 and 932.
BENCHMARK(BM_Run)
    ->ArgNames({"bytes", "runes", "code_page", "long"})
    ->Args({20 * 1000, 60, 1252, 0})
    ->Args({1 * kMB, 1000, 1252, 0})
    ->Args({10 * kMB, 1000, 1252, 0})
    ->Args({100 * kMB, 1000, 1252, 0})
    ->Args({10 * kMB, 1000, 1251, 0})
    ->Args({10 * kMB, 1000, 65001, 0})
    ->Args({10 * kMB, 1000, 1252, 1})
    ->Args({10 * kMB, 1000, 932, 1})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
