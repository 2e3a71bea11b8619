#include "text/code_page.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <string>
#include <string_view>

#include "text/native_text.h"
#include "text/rune_table.h"

namespace sigilflip {
namespace {

const CodePage& Western() {
  return CodePage::Get(1252);
}

TEST(CodePage1252, UpperCaseFollowsTheUnicodeSimpleMapping) {
  std::string lower;
  std::string upper;
  for (int byte = 0; byte < 256; ++byte) {
    const char c = static_cast<char>(byte);
    if (Western().Fold(c) != c) {
      lower += c;
      upper += Western().Fold(c);
    }
  }
  EXPECT_EQ(Western().ToUtf8(lower),
            "abcdefghijklmnopqrstuvwxyzšœžàáâãäåæçèéêëìíîïðñòóôõöøùúûüýþÿ");
  EXPECT_EQ(Western().ToUtf8(upper),
            "ABCDEFGHIJKLMNOPQRSTUVWXYZŠŒŽÀÁÂÃÄÅÆÇÈÉÊËÌÍÎÏÐÑÒÓÔÕÖØÙÚÛÜÝÞŸ");
  EXPECT_TRUE(Western().foldsByBits());  // the table's fast hash serves
}

TEST(CodePage1252, EveryByteIsItsOwnCharacter) {
  std::set<std::string> characters;
  for (int byte = 0; byte < 256; ++byte) {
    characters.insert(Western().ToUtf8(std::string(1, static_cast<char>(byte))));
  }
  EXPECT_EQ(characters.size(), 256u);
  // The five bytes Windows-1252 leaves undefined read as their value, so that they show.
  EXPECT_EQ(Western().ToUtf8("\x80\x81\x8D\x8F\x90\x9D\x9F\xA0\xFF"),
            "€\\x81\\x8D\\x8F\\x90\\x9DŸ\u00A0ÿ");
  EXPECT_EQ(Western().ToUtf8("\xC6ther \x99"), "Æther ™");
  EXPECT_EQ(Western().ToUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));
}

// Names in each code page: one rune or two, and how the first reads. Multi-byte code pages
// decode a name as a whole: a trail byte that looks like a letter or a backslash is none. Bytes
// that make no character stay themselves, and read as their value.
TEST(CodePage, NamesAreOneRuneByTheirUpperCase) {
  constexpr auto kTurkic = Casing::kTurkic;
  const struct {
    unsigned codePage;
    std::string first;
    std::string second;
    bool oneRune;
    std::string firstReads;
    Casing casing = Casing::kInvariant;
  } cases[] = {
      {1252, "\xFF", "\x9F", true, "ÿ"},
      {1252,
       "stra\xDF"
       "e",
       "STRASSE", false, "straße"},        // ß has no simple upper case
      {1252, "\xB5", "\xCC", false, "µ"},  // nor one in the code page
      {1250,
       "\xB3"
       "\xF3"
       "d\xBF",
       "\xA3\xD3"
       "D\xAF",
       true, "łódż"},
      {1251, "\xC7\xE0\xF0\xFF", "\xC7\xC0\xD0\xDF", true, "Заря"},
      {1251, "\xB8", "\xA8", true, "ё"},
      {1253, "\xEF\xE4\xEF\xF2", "\xCF\xC4\xCF\xD3", true, "οδος"},  // final sigma
      {1253, "\xF2", "\xF3", true, "ς"},
      {1253, "\xAA", "\xAB", false, "\\xAA"},   // undefined there: itself
      {1255, "\xCA", "\xCB", false, "\u05BA"},  // a point the C library lacks
      {1254, "\xFD", "I", true, "ı"},
      {1254, "i", "I", true, "i"},
      {1254, "\xDD", "i", false, "İ"},
      {1254, "\xFDl\xFDk", "ILIK", true, "ılık", kTurkic},  // Turkish: two words, ılık and ilik
      {1254, "ilik", "\xDDL\xDDK", true, "ilik", kTurkic},
      {1254, "ilik", "ILIK", false, "ilik", kTurkic},
      {65001, "дом", "ДОМ", true, "дом"},
      {65001, "straße", "STRASSE", false, "straße"},
      {65001, "a\xFF", "A\xFF", true, "a\\xFF"},                          // an invalid byte: itself
      {65001, "\xE0\x80\x80", "\xE0\x80\x81", false, "\\xE0\\x80\\x80"},  // overlong
      {65001, "\xC1\x81", "A", false, "\\xC1\\x81"},                      // overlong A
      {65001, "\xED\xB3\xBF", "\xED\xB3\xBE", false, "\\xED\\xB3\\xBF"},  // a surrogate
      {65001, "\xF4\x90\x80\x80", "\xF4\x90\x80\x81", false, "\\xF4\\x90\\x80\\x80"},
      {65001, "\xF0\x90\x90\xA8", "\xF0\x90\x90\xA8", true, "𐐨"},
      {65001, "i", "\xC4\xB0", true, "i", kTurkic},
      {932, "\x89\xCE\x8B\x85", "\x89\xCE\x8B\x85", true, "火球"},
      {932, "\x83\x5C", "\x83\x7C", false, "ソ"},  // a backslash as trail byte
      {932, "\x83\x61", "\x83\x41", false, "ヂ"},  // a trail byte a, and A
      {932, "\x82\x81", "\x82\x60", true, "ａ"},   // fullwidth a and A
      {936, "\xBB\xF0\xC7\xF2", "\xBB\xF0\xC7\xF2", true, "火球"},
      {936, "\xA3\xE1", "\xA3\xC1", true, "ａ"},
      {936, "a\xE0", "a\xC0", false, "a\\xE0"},        // a lead byte without its trail
      {936, "\xA1\x61", "\xA1\x41", false, "\uE4E7"},  // user-defined, as on Windows
      {949, "\xC7\xD1", "\xC7\xD1", true, "한"},
      {949, "\x81\x61", "\x81\x41", false, "갵"},
      {950, "\xA4\xF5", "\xA4\xF5", true, "火"},
      {950, "\xA4\x61", "\xA4\x41", false, "兀"},
      {950, "\x84\x61", "\x84\x41", false, "\uF0B0"},  // user-defined, as on Windows
  };
  for (const auto& [codePage, first, second, oneRune, firstReads, casing] : cases) {
    SCOPED_TRACE(testing::Message() << codePage << " " << firstReads);
    RuneTable table(CodePage::Get(codePage, casing));
    ASSERT_EQ(table.codePage().number(), codePage);
    ASSERT_TRUE(table.AddRune(first));
    ASSERT_TRUE(table.AddRune("  " + second + " "));
    EXPECT_EQ(table.RuneCount(), oneRune ? 1 : 2);
    EXPECT_EQ(table.SlotOf(second), oneRune ? 1 : 2);
    EXPECT_EQ(table.codePage().ToUtf8(table.Runes(1).Name), firstReads);
  }
}

TEST(CodePage, OfTheLocalesLanguage) {
  const struct {
    const char* locale;
    unsigned codePage;
  } cases[] = {
      {"C", 1252},           {"POSIX", 1252},
      {"en_US.UTF-8", 1252}, {"de_DE", 1252},
      {"pl_PL.UTF-8", 1250}, {"cs_CZ", 1250},
      {"hu_HU", 1250},       {"ru_RU.UTF-8", 1251},
      {"uk_UA", 1251},       {"bg_BG.UTF-8", 1251},
      {"sr_RS", 1251},       {"sr_RS@latin", 1250},
      {"el_GR.UTF-8", 1253}, {"tr_TR.UTF-8", 1254},
      {"he_IL", 1255},       {"ar_EG", 1256},
      {"lt_LT", 1257},       {"lv_LV", 1257},
      {"et_EE", 1257},       {"vi_VN", 1258},
      {"th_TH", 874},        {"ja_JP.UTF-8", 932},
      {"zh_CN.UTF-8", 936},  {"zh_SG", 936},
      {"ko_KR.EUC-KR", 949}, {"zh_TW.UTF-8", 950},
      {"zh_HK", 950},        {"", 1252},
      {"uz_UZ", 1254},       {"uz_UZ@cyrillic", 1251},
      {"ug_CN", 1256},       {"hy_AM.UTF-8", 65001},
      {"ka_GE", 65001},
  };
  for (const auto& [locale, codePage] : cases) {
    EXPECT_EQ(CodePageOfLocale(locale), codePage) << locale;
    const bool turkic = std::string_view(locale).starts_with("tr");
    EXPECT_EQ(CasingOfLocale(locale), turkic ? Casing::kTurkic : Casing::kInvariant) << locale;
  }
  EXPECT_EQ(CasingOfLocale("az-Latn-AZ"), Casing::kTurkic);
#ifndef _WIN32
  // LC_ALL, else LC_CTYPE, else LANG, as the C library reads them.
  setenv("LANG", "el_GR.UTF-8", 1);
  setenv("LC_CTYPE", "ja_JP.UTF-8", 1);
  setenv("LC_ALL", "", 1);
  EXPECT_EQ(native::SystemCodePage(), 932u);
  unsetenv("LC_CTYPE");
  EXPECT_EQ(native::SystemCodePage(), 1253u);
  unsetenv("LANG");
  EXPECT_EQ(native::SystemCodePage(), 1252u);
#endif
}

}  // namespace
}  // namespace sigilflip
