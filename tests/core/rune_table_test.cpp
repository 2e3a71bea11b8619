#include "rune_table.h"

#include <gtest/gtest.h>

#include <string>

namespace sigilflip {
namespace {

TEST(RuneTable, SameRuneIgnoresCaseAndSurroundingSpaces) {
  RuneTable table;
  table.AddRune("abc");
  table.AddRune(" ABC");
  table.AddRune("Abc  ");
  EXPECT_EQ(table.RuneCount(), 1);
  EXPECT_EQ(table.Runes(1).Name, "abc");
  EXPECT_EQ(table.Runes(1).Used, kTrue);
  EXPECT_EQ(table.Runes(2).Used, kFalse);

  table.SetNewName(1, "xyz");
  EXPECT_EQ(table.GetRune(" aBc "), "xyz");
}

TEST(RuneTable, KeepsFirstSpellingStrippedOfSpacesOnly) {
  RuneTable table;
  table.AddRune("  Fire Rune  ");
  table.AddRune("\tfire rune");
  table.AddRune("fire rune\t");
  ASSERT_EQ(table.RuneCount(), 3);
  EXPECT_EQ(table.Runes(1).Name, "Fire Rune");
  EXPECT_EQ(table.Runes(2).Name, "\tfire rune");
  EXPECT_EQ(table.Runes(3).Name, "fire rune\t");
  EXPECT_EQ(table.FindRune("FIRE RUNE"), &table.Runes(1));
  EXPECT_EQ(table.FindRune("\tFIRE RUNE  "), &table.Runes(2));
}

TEST(RuneTable, MatchUpperCasesWindows1252LettersOnly) {
  RuneTable table;
  table.AddRune("\xE6ther");  // æther
  table.AddRune("\xC6THER");  // ÆTHER
  table.AddRune(
      "\x9A"
      "a");  // ša
  table.AddRune(
      "\x8A"
      "A");               // ŠA
  table.AddRune("\xFF");  // ÿ
  table.AddRune("\x9F");  // Ÿ
  table.AddRune("\xDF");  // ß stays ß: not the same as SS
  table.AddRune("SS");
  table.AddRune("\xF7");  // ÷ has no case: not the same as ×
  table.AddRune("\xD7");
  EXPECT_EQ(table.RuneCount(), 7);
  EXPECT_EQ(table.Runes(1).Name, "\xE6ther");
}

TEST(RuneTable, EmptyAndBlankNamesAreOneRune) {
  RuneTable table;
  table.AddRune("");
  table.AddRune("   ");
  EXPECT_EQ(table.RuneCount(), 1);
  EXPECT_EQ(table.Runes(1).Name, "");
  table.SetNewName(1, "moon");
  EXPECT_EQ(table.GetRune(""), "moon");
  EXPECT_EQ(table.GetRune(" "), "moon");
}

TEST(RuneTable, GetRuneIsEmptyForUnknownAndUnscrambledRunes) {
  RuneTable table;
  EXPECT_EQ(table.GetRune("abc"), "");
  table.AddRune("abc");
  EXPECT_EQ(table.GetRune("abc"), "");
  EXPECT_EQ(table.GetRune("abd"), "");
  EXPECT_EQ(table.FindRune("abd"), nullptr);
}

TEST(RuneTable, HoldsExactlyAThousandRunes) {
  RuneTable table;
  for (int i = 1; i <= 1000; ++i) {
    EXPECT_TRUE(table.AddRune("rune" + std::to_string(i)));
  }
  EXPECT_EQ(table.RuneCount(), 1000);
  EXPECT_EQ(table.Runes(1000).Name, "rune1000");
  EXPECT_TRUE(table.AddRune("RUNE500"));  // a known rune is fine when the table is full
  EXPECT_FALSE(table.AddRune("rune1001"));
  EXPECT_EQ(table.RuneCount(), 1000);
  EXPECT_EQ(table.FindRune("rune1001"), nullptr);
  EXPECT_EQ(table.GetRune("rune1001"), "");
}

TEST(RuneTable, SlotsAreNumberedOneToAThousand) {
  RuneTable table;
  EXPECT_THROW(table.Runes(0), std::out_of_range);
  EXPECT_THROW(table.Runes(1001), std::out_of_range);
  EXPECT_EQ(table.Runes(1000).Used, kFalse);
  EXPECT_THROW(table.SetNewName(0, "x"), std::out_of_range);
}

TEST(RuneTable, ResetFreesEverySlot) {
  RuneTable table;
  table.AddRune("abc");
  table.AddRune("def");
  table.SetNewName(1, "def");
  table.Reset();
  EXPECT_EQ(table.RuneCount(), 0);
  EXPECT_EQ(table.Runes(1).Used, kFalse);
  EXPECT_EQ(table.Runes(1).Name, "");
  EXPECT_EQ(table.Runes(1).NewName, "");
  EXPECT_EQ(table.FindRune("abc"), nullptr);
  table.AddRune("def");
  EXPECT_EQ(table.Runes(1).Name, "def");
}

}  // namespace
}  // namespace sigilflip
