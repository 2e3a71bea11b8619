#include "command_line.h"

#include <gtest/gtest.h>

#include <bit>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "form1_click.h"
#include "test_support.h"

namespace sigilflip::form1 {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;
using testing::WriteBytes;

class CommandLineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(game);
    WriteBytes(game / "magic.ini", "RUNE1=a\r\n");
    WriteBytes(game / "notes.txt", "");
    previous = fs::current_path();
    fs::current_path(work.path());
  }
  void TearDown() override { fs::current_path(previous); }

  TempDir work;
  // A folder named in several scripts, with spaces.
  const fs::path game = work.path() / fs::path(u8"Spiele und Игры 魔法 ünï");
  const fs::path program = work.path() / "program";
  fs::path previous;
};

// Each argument settles one folder, spelt as the platform spells it.
TEST_F(CommandLineTest, FolderFileOrNothingSettleTheFolder) {
  const struct {
    std::vector<fs::path> arguments;
    fs::path folder;
  } cases[] = {
      {{}, program},
      {{game}, game},
      {{game / ""}, game},
      {{game / "magic.ini"}, game},
      {{game / "notes.txt"}, game},  // any file of the game's, as dropped on the program
      {{game.filename()}, game},     // relative to the current folder
      {{game.filename() / "magic.ini"}, game},
      {{fs::path(".")}, work.path()},
      {{game.root_path()}, game.root_path()},  // the root stays the root (/, C:\)
      {{game / "missing"}, game / "missing"},  // the first run says which magic.ini is missing
      {{game / "missing" / "magic.ini"}, game / "missing"},
#ifdef _WIN32
      // As Windows takes them, not mangled by our own string rules.
      {{L"\\\\?\\" + game.native()}, L"\\\\?\\" + game.native()},
      {{L"\\\\?\\" + (game / "magic.ini").native()}, L"\\\\?\\" + game.native()},
      {{L"\\\\.\\" + game.native()}, L"\\\\.\\" + game.native()},
      {{game.native() + L"\\\""}, game},  // "C:\Game\" as CommandLineToArgvW hands it over
#else
      {{fs::path("/?")}, fs::path("/?")},  // no option here
#endif
  };
  for (const auto& [arguments, folder] : cases) {
    EXPECT_EQ(ReadCommandLine(arguments, program).folder, folder)
        << (arguments.empty() ? "nothing" : arguments[0].string());
  }
}

// The options in any order, beside a folder or not; a command line with anything that is not
// known (two folders, an empty argument, an option Sigilflip does not know) gives no folder, and
// says whether it asked for a run without a window.
TEST_F(CommandLineTest, OptionsInAnyOrderAndWhatIsNotKnown) {
  const fs::path dashed = work.path() / "-x";
  const struct {
    std::vector<fs::path> arguments;
    bool run;
    std::optional<Seed> seed;
    std::optional<fs::path> folder;  // none: not known (the seed is then not looked at)
  } cases[] = {
      {{"--run"}, true, std::nullopt, program},
      {{"--seed", "1234", game}, false, 1234, game},
      {{game, "--seed=0", "--run"}, true, 0, game},
      {{"--run", "--seed", "4294967295"}, true, 4294967295u, program},
      {{"--seed", "007"}, false, 7, program},
      {{"--", "-x"}, false, std::nullopt, dashed},  // a folder named "-x"
      {{"--run", "--seed", "4294967296"}, true, std::nullopt, std::nullopt},
      {{"--run", "--seed"}, true, std::nullopt, std::nullopt},
      {{"--seed", "-1"}, false, std::nullopt, std::nullopt},
      {{"--seed", "12a"}, false, std::nullopt, std::nullopt},
      {{"--seed", ""}, false, std::nullopt, std::nullopt},
      {{"--seed=+5"}, false, std::nullopt, std::nullopt},
      {{"--seed", "1", "--seed", "1"}, false, std::nullopt, std::nullopt},
      {{"--run", "--run"}, true, std::nullopt, std::nullopt},
      {{game, "--run", "-x"}, true, std::nullopt, std::nullopt},
      {{"--run", game, game}, true, std::nullopt, std::nullopt},
      {{game, game}, false, std::nullopt, std::nullopt},
      {{"--help"}, false, std::nullopt, std::nullopt},
      {{"-"}, false, std::nullopt, std::nullopt},
      {{""}, false, std::nullopt, std::nullopt},
#ifdef _WIN32
      {{L"/?"}, false, std::nullopt, std::nullopt},
#endif
  };
  for (const auto& [arguments, run, seed, folder] : cases) {
    const CommandLine line = ReadCommandLine(arguments, program);
    const std::string given = ::testing::PrintToString(arguments);
    EXPECT_EQ(line.run, run) << given;
    EXPECT_EQ(line.folder, folder) << given;
    if (folder) {
      EXPECT_EQ(line.seed, seed) << given;
      // Every press of a window started so: the seed given, else the time of the press.
      const Seed pressed = SeedsOf(line.seed)();
      const float time = std::bit_cast<float>(pressed);
      EXPECT_TRUE(seed ? pressed == *seed : time >= 0 && time < 86400) << given;
    }
  }
}

}  // namespace
}  // namespace sigilflip::form1
