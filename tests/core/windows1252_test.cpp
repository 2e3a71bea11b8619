#include "windows1252.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace sigilflip {
namespace {

TEST(Windows1252, UpperCaseFollowsTheUnicodeSimpleMapping) {
  std::string lower;
  std::string upper;
  for (int byte = 0; byte < 256; ++byte) {
    const char c = static_cast<char>(byte);
    if (UpperCase1252(c) != c) {
      lower += c;
      upper += UpperCase1252(c);
    }
  }
  EXPECT_EQ(Utf8From1252(lower), "abcdefghijklmnopqrstuvwxyzšœžàáâãäåæçèéêëìíîïðñòóôõöøùúûüýþÿ");
  EXPECT_EQ(Utf8From1252(upper), "ABCDEFGHIJKLMNOPQRSTUVWXYZŠŒŽÀÁÂÃÄÅÆÇÈÉÊËÌÍÎÏÐÑÒÓÔÕÖØÙÚÛÜÝÞŸ");
}

TEST(Windows1252, EveryByteIsItsOwnCharacter) {
  std::set<char32_t> codePoints;
  for (int byte = 0; byte < 256; ++byte) {
    codePoints.insert(CodePoint1252(static_cast<char>(byte)));
  }
  EXPECT_EQ(codePoints.size(), 256u);
  EXPECT_EQ(CodePoint1252('\x80'), U'€');
  EXPECT_EQ(CodePoint1252('\x81'), 0x81u);
  EXPECT_EQ(CodePoint1252('\x8D'), 0x8Du);
  EXPECT_EQ(CodePoint1252('\x8F'), 0x8Fu);
  EXPECT_EQ(CodePoint1252('\x90'), 0x90u);
  EXPECT_EQ(CodePoint1252('\x9D'), 0x9Du);
  EXPECT_EQ(CodePoint1252('\x9F'), U'Ÿ');
  EXPECT_EQ(CodePoint1252('\xA0'), 0xA0u);
  EXPECT_EQ(CodePoint1252('\xFF'), U'ÿ');
}

TEST(Windows1252, ConvertsToUtf8) {
  EXPECT_EQ(Utf8From1252("\xC6ther"), "Æther");
  EXPECT_EQ(Utf8From1252("\x80 \x99 \x8D"), "€ ™ \xC2\x8D");
  EXPECT_EQ(Utf8From1252(std::string("a\0b", 3)), std::string("a\0b", 3));
}

}  // namespace
}  // namespace sigilflip
