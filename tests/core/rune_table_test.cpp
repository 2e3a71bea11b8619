#include "text/rune_table.h"

#include <gtest/gtest.h>

#include <array>

#include <cctype>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "text/code_page.h"

namespace sigilflip {
namespace {

// The upper case that names in Windows-1252 are compared by.
char UpperCase1252(char c) {
  return CodePage::Get(1252).Fold(c);
}

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
  // æther ÆTHER, ša ŠA, ÿ Ÿ; ß stays ß (not SS), ÷ has no case (not ×).
  for (const char* name :
       {"\346ther", "\306THER", "\232a", "\212A", "\377", "\237", "\337", "SS", "\367", "\327"}) {
    table.AddRune(name);
  }
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

// Tables of 1000 random names fill the indexes up to their last buckets, where a look-up must
// go on at the first; every name is found as spelled, in other letter case and between spaces.
TEST(RuneTable, EveryNameOfFullRandomTablesIsFound) {
  const std::string letters = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  for (unsigned seed = 1; seed <= 20; ++seed) {
    std::mt19937 engine(seed);
    RuneTable table;
    std::vector<std::string> names;
    std::set<std::string> folded;
    while (names.size() < 1000) {
      std::string name(std::uniform_int_distribution<std::size_t>(1, 40)(engine), ' ');
      for (char& c : name) {
        c = letters[std::uniform_int_distribution<std::size_t>(0, letters.size() - 1)(engine)];
      }
      std::string key = name;
      for (char& c : key) {
        c = UpperCase1252(c);
      }
      if (folded.insert(key).second) {
        ASSERT_TRUE(table.AddRune(name));
        names.push_back(name);
        ASSERT_EQ(table.RuneCount(), static_cast<Int16>(names.size())) << "seed " << seed;
      }
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
      std::string upper = names[i];
      std::string lower = names[i];
      for (std::size_t c = 0; c < upper.size(); ++c) {
        upper[c] = UpperCase1252(upper[c]);
        lower[c] = static_cast<char>(std::tolower(static_cast<unsigned char>(lower[c])));
      }
      const auto slot = static_cast<Int16>(i + 1);
      ASSERT_EQ(table.SlotOf(names[i]), slot) << "seed " << seed << ": " << names[i];
      ASSERT_EQ(table.SlotOf(" " + upper + "  "), slot) << "seed " << seed << ": " << upper;
      ASSERT_EQ(table.SlotOf(lower), slot) << "seed " << seed << ": " << lower;
    }
    EXPECT_EQ(table.SlotOf("no-such-name"), 0);
  }
}

// Names that differ in one byte, at every place of the look-up's hash (short names, eight-byte
// words, the last word overlapping the one before): the same rune exactly when the Windows-1252
// upper-case table makes the two bytes one, for every pair of the 256 bytes.
TEST(RuneTable, CaseFoldingAgreesWithTheUpperCaseTableForEveryByte) {
  for (const std::string& prefix : {std::string(), std::string(7, 'k'), std::string(12, 'k')}) {
    RuneTable table;
    std::array<Int16, 256> slotOfUpper{};
    for (int byte = 0; byte < 256; ++byte) {
      const auto c = static_cast<char>(byte);
      ASSERT_TRUE(table.AddRune(prefix + c + "z"));
      Int16& slot = slotOfUpper[static_cast<unsigned char>(UpperCase1252(c))];
      slot = slot != 0 ? slot : table.RuneCount();
    }
    std::set<char> uppers;
    for (int byte = 0; byte < 256; ++byte) {
      uppers.insert(UpperCase1252(static_cast<char>(byte)));
    }
    EXPECT_EQ(table.RuneCount(), static_cast<Int16>(uppers.size()));
    for (int byte = 0; byte < 256; ++byte) {
      const auto c = static_cast<char>(byte);
      EXPECT_EQ(table.SlotOf(" " + prefix + c + "z"),
                slotOfUpper[static_cast<unsigned char>(UpperCase1252(c))])
          << "byte " << byte << " after " << prefix.size() << " bytes";
    }
  }
}

// Names of every length around the exact spellings' limit, each one with one byte changed at every
// place, and with a NUL byte added: the changed name is another rune, whatever the place, and all
// are found again as spelled (the second look-up of a spelling takes the shortcut), also when the
// bytes after a name in its buffer differ.
TEST(RuneTable, NamesDifferingInOneByteAreTwoRunesAtEveryLengthAndPlace) {
  for (std::size_t length = 1; length <= 40; ++length) {
    std::string name(length, ' ');
    for (std::size_t i = 0; i < length; ++i) {
      name[i] = static_cast<char>('a' + i % 26);
    }
    for (std::size_t place = 0; place <= length; ++place) {
      std::string other = name;
      if (place < length) {
        other[place] = '#';
      } else {
        other += '\0';
      }
      RuneTable table;
      ASSERT_TRUE(table.AddRune(name));
      ASSERT_TRUE(table.AddRune(other));
      ASSERT_EQ(table.RuneCount(), 2) << length << " bytes, changed at " << place;
      for (const char* after : {"", "xyz", "\0\0"}) {
        const std::string buffered = name + after + std::string(kNameReadAhead, '!');
        const BufferedName inBuffer{std::string_view(buffered).substr(0, length)};
        EXPECT_EQ(table.SlotOf(name), 1) << length << " bytes, changed at " << place;
        EXPECT_EQ(table.SlotOf(inBuffer), 1) << length << " bytes, changed at " << place;
        EXPECT_EQ(table.SlotOf(other), 2) << length << " bytes, changed at " << place;
        ASSERT_EQ(table.SlotAfterAdding(inBuffer), 1);
        EXPECT_EQ(table.RuneCount(), 2) << length << " bytes, changed at " << place;
      }
    }
  }
}

// Every letter-case spelling of one 14-letter name, four times more than the spellings kept: one
// rune, found under each of them.
TEST(RuneTable, FloodOfSpellingsOfOneRune) {
  const std::string name = "abcdefghijklmn";
  RuneTable table;
  for (unsigned cases = 0; cases < (1u << name.size()); ++cases) {
    std::string spelling = name;
    for (std::size_t i = 0; i < name.size(); ++i) {
      if ((cases >> i & 1u) != 0) {
        spelling[i] = UpperCase1252(spelling[i]);
      }
    }
    ASSERT_TRUE(table.AddRune(spelling));
    ASSERT_EQ(table.SlotOf(spelling), 1) << spelling;
  }
  EXPECT_EQ(table.RuneCount(), 1);
  EXPECT_EQ(table.SlotOf("ABCDEFGHIJKLMN"), 1);
  EXPECT_EQ(table.SlotOf("abcdefghijklmo"), 0);
}

}  // namespace
}  // namespace sigilflip
