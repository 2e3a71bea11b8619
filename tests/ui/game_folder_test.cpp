#include "game_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "test_support.h"

namespace sigilflip::form1 {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;
using testing::WriteBytes;

class GameFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(game);
    WriteBytes(game / "magic.ini", "RUNE1=a\r\n");
    WriteBytes(game / "notes.txt", "");
    previous = fs::current_path();
    fs::current_path(work.path());
  }
  void TearDown() override { fs::current_path(previous); }

  std::optional<fs::path> From(std::vector<fs::path> arguments) {
    return GameFolder(arguments, program);
  }

  TempDir work;
  // A folder named in several scripts, with spaces.
  const fs::path game = work.path() / fs::path(u8"Spiele und Игры 魔法 ünï");
  const fs::path program = work.path() / "program";
  fs::path previous;
};

// Each argument settles one folder, spelt as the platform spells it.
TEST_F(GameFolderTest, FolderFileOrNothingSettleTheFolder) {
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
    const std::string given = arguments.empty() ? "nothing" : arguments[0].string();
    ASSERT_TRUE(From(arguments).has_value()) << given;
    EXPECT_EQ(*From(arguments), folder) << given;
  }
}

TEST_F(GameFolderTest, MoreThanOneArgumentAnEmptyOneOrAnOptionIsNotKnown) {
  for (const std::vector<fs::path>& arguments : std::vector<std::vector<fs::path>>{
           {game, game},
           {"--help"},
           {"-x"},
           {"-"},
           {""},
#ifdef _WIN32
           {L"/?"},
#endif
       }) {
    EXPECT_EQ(From(arguments), std::nullopt) << arguments[0];
  }
}

}  // namespace
}  // namespace sigilflip::form1
