#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "run/sigilflipper.h"
#include "run_check.h"
#include "test_support.h"

namespace sigilflip {
namespace {

namespace fs = std::filesystem;
using testing::CannotWrite;
using testing::CheckRun;
using testing::ReadBytes;
using testing::RunIn;
using testing::RunOutcome;
using testing::TempDir;
using testing::WriteBytes;
using Texts = std::vector<std::string>;

// Draws 0 and, at the first draw (between the two passes), does something to the folder.
// Draws 0, and meddles at the first `times` draws: between the passes.
class MeddlingRandom final : public RandomSource {
 public:
  explicit MeddlingRandom(std::function<void()> meddle, int times = 1)
      : meddle_(std::move(meddle)), times_(times) {}
  float Next() override {
    if (times_-- > 0) {
      meddle_();
    }
    return 0.0f;
  }

 private:
  std::function<void()> meddle_;
  int times_;
};

class HostileInput : public ::testing::Test {
 protected:
  // A run on `input`, checked against the rules of the rune file.
  RunOutcome RunChecked(const std::string& input, float draw = 0.5f) {
    WriteBytes(folder / "magic.ini", input);
    std::error_code ignored;
    fs::remove(folder / "magic-new.ini", ignored);
    RuneTable table;
    SeededRandom random(SeedOf(draw));
    RunOutcome outcome = RunIn(folder.path(), table, random);
    EXPECT_EQ(CheckRun(input, outcome, table), "");
    return outcome;
  }

  TempDir folder;
};

TEST_F(HostileInput, RandomBinaryData) {
  std::mt19937 engine(7);
  std::uniform_int_distribution<int> byte(0, 255);
  for (int round = 0; round < 40; ++round) {
    std::string input;
    const int length = std::uniform_int_distribution<int>(0, 3000)(engine);
    for (int i = 0; i < length; ++i) {
      // Now and then a rune key, so that binary names get shuffled too.
      if (byte(engine) < 8) {
        input += round % 2 == 0 ? "\r\nRUNE" : "\nrune";
        input += static_cast<char>('1' + byte(engine) % 5);
        input += '=';
      }
      input += static_cast<char>(byte(engine));
    }
    const RunOutcome outcome = RunChecked(input, static_cast<float>(round));
    EXPECT_TRUE(outcome.succeeded) << "round " << round;
  }
}

TEST_F(HostileInput, NulBytesAreOrdinaryCharacters) {
  const std::string input("RUNE1=a\0b\r\nRUNE2=A\0B\r\n\0\0\0\r\nRUNE3=\0\r\n", 33);
  const RunOutcome outcome = RunChecked(input);
  EXPECT_TRUE(outcome.succeeded);
  EXPECT_EQ(outcome.list.size(), 2u);
}

TEST_F(HostileInput, HundredThousandEmptyLines) {
  std::string input;
  for (int i = 0; i < 100000; ++i) {
    input += "\r\n";
  }
  const RunOutcome outcome = RunChecked(input + "RUNE1=last");
  EXPECT_EQ(outcome.output, input + "Rune1=last\r\n");
}

TEST_F(HostileInput, NamesDifferingOnlyInLetterCase) {
  const RunOutcome outcome = RunChecked(
      "RUNE1=\xC6THER\r\nRUNE2=\xE6ther\r\nRUNE3=\x9A\x9C\x9E\xFF\r\nRUNE4=\x8A\x8C\x8E\x9F\r\n"
      "RUNE5=stra\xDF"
      "e\r\nRUNE1=STRASSE\r\n");
  EXPECT_EQ(outcome.list.size(), 4u);  // Æther, šœžÿ, straße and STRASSE
}

// 200 MB with no line end: one other line, copied, with CR LF after it, through the run's buffers
// (on Linux, the run's peak memory in a process of its own grows by far less than the line).
TEST_F(HostileInput, HugeSingleLineIsStreamed) {
  const std::string block(1 << 20, 'x');
  {
    std::ofstream input(folder / "magic.ini", std::ios::binary);
    for (int i = 0; i < 200; ++i) {
      input << block;
    }
  }
  const auto run = [&] {
    RuneTable table;
    SeededRandom random(SeedOf(1.0f));
    return std::string(Sigilflipper(table, folder.path(), random).succeeded() ? "ok" : "failed");
  };
#ifdef _WIN32
  EXPECT_EQ(run(), "ok");
#else
  const auto peakMiB = [] {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
      if (line.starts_with("VmHWM:")) {
        return std::stol(line.substr(6)) / 1024;
      }
    }
    return 0L;
  };
  EXPECT_EQ(testing::InChild([&] {
              std::ofstream("/proc/self/clear_refs") << "5";  // the peak from here on
              const long before = peakMiB();
              const std::string result = run();
              return result + (peakMiB() - before < 40 ? "" : " with a peak of far more memory");
            }),
            "ok");
#endif
  std::ifstream output(folder / "magic-new.ini", std::ios::binary | std::ios::ate);
  ASSERT_EQ(static_cast<std::size_t>(output.tellg()), 200 * block.size() + 2);
  std::string head(block.size(), '\0');
  std::string tail(3, '\0');
  output.seekg(0).read(head.data(), static_cast<std::streamsize>(head.size()));
  output.seekg(-3, std::ios::end).read(tail.data(), 3);
  EXPECT_EQ(head, block);
  EXPECT_EQ(tail, "x\r\n");
}

TEST_F(HostileInput, HugeRuneName) {
  const std::string name(20 * 1024 * 1024, 'n');
  const RunOutcome outcome = RunChecked("RUNE1=" + name + "\r\nRUNE2=b\r\nrune3=" + name);
  EXPECT_TRUE(outcome.succeeded);
}

class ChangedBetweenPasses : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteBytes(folder / "magic.ini", "RUNE1=a\r\nRUNE2=b\r\n");
    WriteBytes(folder / "magic-new.ini", "earlier");
  }

  RunOutcome RunMeddling(std::function<void()> meddle, int times = 1) {
    MeddlingRandom random(std::move(meddle), times);
    return RunIn(folder.path(), table, random);
  }

  TempDir folder;
  RuneTable table;
};

// A file that changed between the passes is read again, once: it settled, and its runes are the
// new ones; changed again, the run stops.
TEST_F(ChangedBetweenPasses, ChangedOnceIsReadAgainTwiceIsAnError) {
  const std::string grown = "RUNE1=a\r\nRUNE2=b\r\nRUNE3=intruder\r\n";
  for (const auto& change :
       {std::pair<std::string, std::string>{grown, "Rune1=a\r\nRune2=b\r\nRune3=intruder\r\n"},
        {"RUNE2=B", "Rune2=B\r\n"}}) {
    const RunOutcome outcome = RunMeddling([&] { WriteBytes(folder / "magic.ini", change.first); });
    EXPECT_TRUE(outcome.succeeded) << change.first;
    EXPECT_EQ(outcome.output, change.second);
  }
  std::string growing = grown;
  const RunOutcome outcome =
      RunMeddling([&] { WriteBytes(folder / "magic.ini", growing += "; more\r\n"); }, 1000);
  EXPECT_EQ(outcome.errors,
            Texts{(folder / "magic.ini").string() + " changed while Sigilflip was reading it."});
  EXPECT_EQ(outcome.output, "Rune2=B\r\n");  // as the last good run left it
  EXPECT_EQ(outcome.strayFiles, Texts{});
}

#ifndef _WIN32
// Windows refuses to rename over a file that is open or to remove its folder, so neither can
// happen there.
TEST_F(ChangedBetweenPasses, ReplacedFileIsReadAsOpened) {
  const RunOutcome outcome = RunMeddling([&] {
    WriteBytes(folder / "replacement", "RUNE1=other\r\n");
    fs::rename(folder / "replacement", folder / "magic.ini");
  });
  EXPECT_TRUE(outcome.succeeded);
  EXPECT_EQ(outcome.output, "Rune1=a\r\nRune2=b\r\n");
}

TEST_F(ChangedBetweenPasses, FolderRemovedGivesTheSystemsReason) {
  // The input stays open; the temporary file has nowhere to go.
  MeddlingRandom random([&] { fs::remove_all(folder.path()); });
  testing::RecordingView view;
  EXPECT_FALSE(view.Take(Sigilflipper(table, folder.path(), random)));
  EXPECT_EQ(view.errors, Texts{CannotWrite(folder / "magic-new.ini", "No such file or directory")});
}
#endif

}  // namespace
}  // namespace sigilflip
