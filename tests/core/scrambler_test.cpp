#include "run/scrambler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "files.h"
#include "run/sigilflipper.h"
#include "test_support.h"

namespace sigilflip {
namespace {

using testing::Mapping;
using testing::ScriptedRandom;
using Items = std::vector<std::string>;

RuneTable TableOf(const std::vector<std::string>& names) {
  RuneTable table;
  for (const std::string& name : names) {
    table.AddRune(name);
  }
  return table;
}

// A draw that gives the count k for a table of n runes.
float DrawFor(int k, int n) {
  return static_cast<float>(k) / static_cast<float>(n);
}

Items Scramble(const std::vector<std::string>& names, const std::vector<float>& draws) {
  RuneTable table = TableOf(names);
  ScriptedRandom random(draws);
  ScrambleRunes(table, random);
  EXPECT_EQ(random.Drawn(), draws.size());
  return Mapping(table);
}

// The walk step by step, slot by slot, turning back at the free slot after the last rune or after
// slot 1000.
void ReferenceScramble(RuneTable& table, RandomSource& random) {
  for (Int16 i = 1; i <= RuneTable::kRuneSlots; ++i) {
    if (table.Runes(i).Used == kFalse) {
      continue;
    }
    int k = WalkCount(random.Next(), table.RuneCount());
    int j = 1;
    for (bool placed = false; !placed;) {
      const RuneRecord& slot = table.Runes(static_cast<Int16>(j));
      if (slot.NewName.empty() && slot.Used != kFalse) {
        if (--k <= 0) {
          table.SetNewName(static_cast<Int16>(j), table.Runes(i).Name);
          placed = true;
        }
      }
      if (slot.Used == kFalse || j == RuneTable::kRuneSlots) {
        j = 0;
      }
      ++j;
    }
  }
}

// Walks that differ only in their names and draws.
TEST(Scrambler, Walks) {
  const float third = DrawFor(1, 3);
  const float twoThirds = DrawFor(2, 3);
  const struct {
    const char* what;
    std::vector<std::string> names;
    std::vector<float> draws;
    Items mapping;
  } kWalks[] = {
      {"worked example",
       {"A", "B", "C"},
       {twoThirds, twoThirds, twoThirds},
       {"A => C", "B => A", "C => B"}},
      {"count 0 is the identity",
       {"A", "B", "C"},
       {0.0f, 0.0f, 0.0f},
       {"A => A", "B => B", "C => C"}},
      {"count 1 is the identity",
       {"A", "B", "C"},
       {third, third, third},
       {"A => A", "B => B", "C => C"}},
      {"count 3 rotates", {"A", "B", "C"}, {0.99f, 0.99f, 0.99f}, {"A => B", "B => C", "C => A"}},
      // After A takes slot 1, B counts 4 among the three unnamed slots 2, 3, 4 and turns back to
      // slot 2; C counts 4 among slots 3 and 4: two laps, ending on slot 4.
      {"several laps",
       {"A", "B", "C", "D"},
       {0.0f, 0.9f, 0.9f, 0.9f},
       {"A => A", "B => B", "C => D", "D => C"}},
      {"a single rune, count 0", {"solo"}, {0.0f}, {"solo => solo"}},
      {"a single rune, count 1", {"solo"}, {0.9f}, {"solo => solo"}},
      // The empty name goes to slot 1, which stays unnamed, so B's name lands there too and one
      // rune keeps an empty NewName.
      {"an empty name leaves its target open",
       {"", "B", "C"},
       {0.0f, 0.0f, 0.0f},
       {" => B", "B => C", "C => "}},
  };
  for (const auto& walk : kWalks) {
    EXPECT_EQ(Scramble(walk.names, walk.draws), walk.mapping) << walk.what;
  }
}

TEST(Scrambler, EmptyTableDrawsNothing) {
  RuneTable table;
  ScriptedRandom random({});
  ScrambleRunes(table, random);
  EXPECT_EQ(random.Drawn(), 0u);
  EXPECT_EQ(table.Runes(1).NewName, "");
}

TEST(Scrambler, WalkCountRoundsHalfToEven) {
  const struct {
    float draw;
    Int16 runes;
    Int16 count;
  } kCounts[] = {
      {0.5f, 3, 2},   // 1.5
      {0.5f, 5, 2},   // 2.5
      {0.5f, 7, 4},   // 3.5
      {0.25f, 2, 0},  // 0.5
      {0.75f, 2, 2},  // 1.5
      {0.0f, 1000, 0},
      {0.99999994f, 1000, 1000},
      // Formed in double: 0.1f is 0.100000001490116..., so 0.1f x 5 is just above 0.5 and rounds
      // up. In single precision the product would be exactly 0.5 and round down to 0.
      {0.1f, 5, 1},
  };
  for (const auto& test : kCounts) {
    EXPECT_EQ(WalkCount(test.draw, test.runes), test.count) << test.draw << " x " << test.runes;
  }
  EXPECT_THROW(WalkCount(40.0f, 1000), OverflowError);
}

TEST(Scrambler, MatchesTheStepByStepWalk) {
  std::mt19937 engine(20261207);
  for (int round = 0; round < 300; ++round) {
    const int count = std::uniform_int_distribution<int>(1, round < 280 ? 40 : 1000)(engine);
    std::vector<std::string> names;
    const bool withEmpty = round % 3 == 0;
    for (int i = 0; i < count; ++i) {
      names.push_back(withEmpty && i == count / 2 ? "" : "rune" + std::to_string(i));
    }
    std::vector<float> draws;
    for (int i = 0; i < count; ++i) {
      draws.push_back(std::uniform_real_distribution<float>(0.0f, 1.0f)(engine));
    }

    RuneTable fast = TableOf(names);
    ScriptedRandom fastDraws(draws);
    ScrambleRunes(fast, fastDraws);
    RuneTable reference = TableOf(names);
    ScriptedRandom referenceDraws(draws);
    ReferenceScramble(reference, referenceDraws);
    ASSERT_EQ(Mapping(fast), Mapping(reference)) << "round " << round;

    // The new names are the names, each handed out once.
    std::vector<std::string> handedOut;
    for (Int16 slot = 1; slot <= fast.RuneCount(); ++slot) {
      handedOut.push_back(fast.Runes(slot).NewName);
    }
    std::sort(handedOut.begin(), handedOut.end());
    std::sort(names.begin(), names.end());
    ASSERT_EQ(handedOut, names) << "round " << round;
  }
}

TEST(Scrambler, FullTableTurnsBackAfterSlotThousand) {
  std::vector<std::string> names;
  for (int i = 1; i <= 1000; ++i) {
    // Appended rather than "r" + to_string(i), which GCC 12 at -O3 flags with a false -Wrestrict.
    names.push_back(std::string("r").append(std::to_string(i)));
  }
  // Every rune counts 1000: rune 1 lands on slot 1000 (the 1000th unnamed), rune 2 has to turn
  // back after slot 1000 and lands on slot 1 (999 unnamed, 1000 ≡ 1).
  const std::vector<float> draws(1000, 0.99999994f);
  const Items items = Scramble(names, draws);
  EXPECT_EQ(items[999], "r1000 => r1");
  EXPECT_EQ(items[0], "r1 => r2");
}

TEST(SeededRandom, EqualSeedsGiveEqualDrawsInUnitRange) {
  // The first draws of a seed, to the last bit (24 bits of std::mt19937's first numbers).
  SeededRandom golden(1234);
  for (const float draw : {0x1.883b58p-3f, 0x1.fd9b88p-2f, 0x1.3e850ap-1f}) {
    EXPECT_EQ(golden.Next(), draw);
  }
  SeededRandom first(1234);
  SeededRandom second(1234);
  SeededRandom other(1235);
  bool differs = false;
  for (int i = 0; i < 10000; ++i) {
    const float draw = first.Next();
    ASSERT_GE(draw, 0.0f);
    ASSERT_LT(draw, 1.0f);
    ASSERT_EQ(draw, second.Next());
    differs = differs || draw != other.Next();
  }
  EXPECT_TRUE(differs);
}

// What --seed promises: a seed and a magic.ini give these bytes and this mapping, on Linux and on
// Windows, in this version and every later one. Any change to the generator, the draw or the walk
// fails here.
TEST(SeededRandom, ASeedGivesTheSameShuffleEverywhereAndAlways) {
  const struct {
    Seed seed;
    std::string input;
    std::string output;
    Items mapping;
  } kGolden[] = {
      {1234,
       "[Fire]\r\nRUNE1=Fire\r\nRUNE2=Ice\r\nRUNE3=Storm\r\nRUNE4=Stone\r\nRUNE5=Light\r\n"
       "[Shadow]\r\nRUNE1=Shadow\r\nrune2=ice\r\nRUNE3=Poison\r\nRUNE4=Blood\r\nMana=5\r\n",
       "[Fire]\r\nRune1=Blood\r\nRune2=Fire\r\nRune3=Stone\r\nRune4=Shadow\r\nRune5=Ice\r\n"
       "[Shadow]\r\nRune1=Poison\r\nRune2=Fire\r\nRune3=Storm\r\nRune4=Light\r\nMana=5\r\n",
       {"Fire => Blood", "Ice => Fire", "Storm => Stone", "Stone => Shadow", "Light => Ice",
        "Shadow => Poison", "Poison => Storm", "Blood => Light"}},
      {0,
       "RUNE1=A\nRUNE2=B\nRUNE3=C\nRUNE4=D\nRUNE5=E\n",
       "Rune1=C\r\nRune2=E\r\nRune3=A\r\nRune4=B\r\nRune5=D\r\n",
       {"A => C", "B => E", "C => A", "D => B", "E => D"}},
      {4294967295,
       "Rune1= \xC6ther \r\nRune2=\xE6THER\r\nRune3=Oak\r\nRune4=Ash\r\nRune5=Yew",
       "Rune1=\xC6ther\r\nRune2=\xC6ther\r\nRune3=Oak\r\nRune4=Yew\r\nRune5=Ash\r\n",
       {"\xC6ther => \xC6ther", "Oak => Oak", "Ash => Yew", "Yew => Ash"}},
  };
  for (const auto& [seed, input, output, mapping] : kGolden) {
    testing::TempDir folder;
    testing::WriteBytes(folder.path() / kInputName, input);
    RuneTable table;
    SeededRandom random(seed);
    ASSERT_TRUE(Sigilflipper(table, folder.path(), random).succeeded()) << seed;
    EXPECT_EQ(testing::ReadBytes(folder.path() / kOutputName), output) << seed;
    EXPECT_EQ(Mapping(table), mapping) << seed;
  }
}

}  // namespace
}  // namespace sigilflip
