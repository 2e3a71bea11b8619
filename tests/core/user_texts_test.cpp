#include "words/user_texts.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace sigilflip {
namespace {

// Every text a user reads, with sample names: each ends its sentence once, with no doubled or
// stray spaces; the reasons end without a full stop, which CannotAccess adds.
TEST(UserTexts, EverySentenceEndsOnceWithoutStraySpaces) {
  const std::vector<std::string> sentences = {
      texts::CannotAccess("read", "C:\\Games\\magic.ini", "Access is denied"),
      texts::CannotAccess("write", "/games/magic-new.ini", texts::kFolderReason),
      texts::CannotAccess("write", "/games/magic-new.ini", texts::kNotAFileReason),
      texts::CannotAccess("write", "/games/magic-new.ini", texts::kReadOnlyReason),
      texts::CannotAccess("write", "/games/magic-new.ini", texts::kInUseReason),
      texts::OutputLeadsToInput("/games/magic-new.ini", "/games/magic.ini"),
      texts::TooManyRunes("/games/magic.ini", 1000),
      texts::ChangedWhileReading("/games/magic.ini", "Æther"),
      texts::OutOfMemory("/games/magic.ini"),
      texts::kUsage,
      texts::kNoDisplay,
      texts::CannotOpenWindow("Not enough memory resources are available"),
  };
  for (const std::string& text : sentences) {
    EXPECT_EQ(text.back(), '.') << text;
    EXPECT_EQ(text.find(".."), std::string::npos) << text;
    EXPECT_EQ(text.find("  "), std::string::npos) << text;
    EXPECT_EQ(text.find(" \n"), std::string::npos) << text;
    EXPECT_EQ(text.find(" ."), std::string::npos) << text;
  }
  for (const char* reason : {texts::kFolderReason, texts::kNotAFileReason, texts::kReadOnlyReason,
                             texts::kInUseReason}) {
    EXPECT_NE(std::string(reason).back(), '.') << reason;
  }
  // A Japanese system's words keep their own full stop, and get no second.
  EXPECT_EQ(texts::CannotAccess("read", "x", "ファイルが見つかりません。"),
            "Cannot read x:\nファイルが見つかりません。");
  // The check's warning is written as the system has always written it: no full stop.
  EXPECT_EQ(texts::RuneError(998, ""), "Rune error : count = 998 : ");
}

}  // namespace
}  // namespace sigilflip
