#include "command_line.h"

#include <gtest/gtest.h>

#include <bit>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "click_cases.h"
#include "form1_click.h"
#include "run_without_window.h"
#include "test_support.h"
#include "words/user_texts.h"

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
      {{"--help", "--run"}, true, std::nullopt, std::nullopt},
      {{"-"}, false, std::nullopt, std::nullopt},
      {{""}, false, std::nullopt, std::nullopt},
      {{"--", ""}, false, std::nullopt, std::nullopt},
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
      // Every press of a window started so: the seed given, else the time of the press (up to
      // 86400, to which 23:59:59.996 rounds).
      const Seed pressed = SeedsOf(line.seed)();
      const float time = std::bit_cast<float>(pressed);
      EXPECT_TRUE(seed ? pressed == *seed : time >= 0 && time <= 86400) << given;
    }
  }
  // Questions, alone: the help (on Windows also /?, elsewhere a folder) and the version.
  using enum CommandLine::Question;
  EXPECT_EQ(ReadCommandLine({"--help"}, program).question, kHelp);
  EXPECT_EQ(ReadCommandLine({"-h"}, program).question, kHelp);
#ifdef _WIN32
  EXPECT_EQ(ReadCommandLine({L"/?"}, program).question, kHelp);
#else
  EXPECT_EQ(ReadCommandLine({"/?"}, program).question, kNone);
#endif
  EXPECT_EQ(ReadCommandLine({"--version"}, program).question, kVersion);
  EXPECT_EQ(ReadCommandLine({"--version", game}, program).question, kNone);
}

// Standard output and standard error, each refusing the texts whose bits are set (bit 0: the
// first it is given), as a full disk or a closed pipe does.
class RefusingConsole final : public Console {
 public:
  RefusingConsole(unsigned refusedOut, unsigned refusedErr) : refused_{refusedOut, refusedErr} {}
  bool Out(std::string_view text) override { return Take(0, text); }
  bool Err(std::string_view text) override { return Take(1, text); }
  std::string Failure() const override { return "No space left on device"; }

  std::vector<std::string> lines[2];  // what each took

 private:
  bool Take(int stream, std::string_view text) {
    if (((refused_[stream] >> tried_[stream]++) & 1) != 0) {
      return false;
    }
    lines[stream].emplace_back(text);
    return true;
  }
  unsigned refused_[2];
  unsigned tried_[2] = {};
};

// --run does what a press does (the click cases), in lines: the mapping on standard output, the
// seed, the warnings or the reason on standard error. A line that cannot be printed after
// magic-new.ini was written is said once, with its own status; a failed run stays a failure.
TEST_F(CommandLineTest, RunWithoutWindowPrintsWhatAPressShows) {
  for (const testing::ClickCase& click : testing::ClickCases()) {
    fs::remove(game / "magic.ini");
    if (click.hasInput) {
      WriteBytes(game / "magic.ini", click.input);
    }
    const bool written = !click.output.empty();
    for (const auto& [refusedOut, refusedErr] :
         {std::pair{0u, 0u}, {~0u, 0u}, {0u, 1u}, {0u, ~0u}, {~0u, ~0u}}) {
      SCOPED_TRACE(::testing::Message()
                   << click.name << ", refused " << refusedOut << " " << refusedErr);
      fs::remove(game / "magic-new.ini");
      RefusingConsole console(refusedOut, refusedErr);
      const bool refused = (refusedOut | refusedErr) != 0;
      EXPECT_EQ(RunWithoutWindow(game, testing::kClickSeed, console), !written  ? kExitFailed
                                                                      : refused ? kExitNotPrinted
                                                                                : kExitWritten);
      std::vector<std::string> err = {"Seed: " + std::to_string(testing::kClickSeed)};
      for (const std::string& box : click.boxes) {
        err.push_back(click.hasInput
                          ? box.substr(box.find(": ") + 2)
                          : testing::CannotRead(game / "magic.ini", testing::FileNotFoundReason()) +
                                "\n\n" + texts::kWhereTheGameIs);
      }
      if (written && refused) {
        err.push_back(texts::NotPrinted("No space left on device"));
      }
      for (std::size_t line = err.size(); line-- > 0;) {
        if (((refusedErr >> line) & 1) != 0) {
          err.erase(err.begin() + static_cast<std::ptrdiff_t>(line));
        }
      }
      EXPECT_EQ(console.lines[0], refusedOut == 0 ? click.items : std::vector<std::string>{});
      EXPECT_EQ(console.lines[1], err);
      EXPECT_EQ(written ? testing::ReadBytes(game / "magic-new.ini") : "", click.output);
      EXPECT_EQ(fs::exists(game / "magic-new.ini"), written);
    }
  }
}

// The names read in the system's code page, as the window reads them: Заря and ЗАРЯ are one rune
// in Windows-1251 (LC_ALL=ru_RU.UTF-8, as one run of this test has it), two in 1252.
TEST_F(CommandLineTest, RunWithoutWindowReadsTheSystemsCodePage) {
  WriteBytes(game / "magic.ini", "RUNE1=\xC7\xE0\xF0\xFF\r\nRUNE2=\xC7\xC0\xD0\xDF\r\n");
  RefusingConsole console(0, 0);
  ASSERT_EQ(RunWithoutWindow(game, 1, console), kExitWritten);
  struct : RuneList {
    void ShowList(const std::vector<std::string>& shown) override { items = shown; }
    std::vector<std::string> items;
  } list;
  Form1State(game, nullptr, [] { return Seed{1}; }).Command1_Click(list);
  EXPECT_EQ(console.lines[0], list.items);
  EXPECT_EQ(console.lines[0].size(), CodePage::System().number() == 1251 ? 1u : 2u);
}

}  // namespace
}  // namespace sigilflip::form1
