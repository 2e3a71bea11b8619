#pragma once

#include <array>
#include <string>
#include <string_view>

// The code page that rune files are written in: Windows' ANSI code page, 8-bit text of one or two
// bytes a character. The core keeps names as the bytes they are; a code page says which names are
// one rune and how they read to a person.
namespace sigilflip {

class CodePage {
 public:
  // Windows-1252, as on Western European Windows.
  CodePage() : CodePage(1252) {}
  // A Windows code page by its number (1250, 1251, 932...). One the platform cannot convert is
  // taken for 1252.
  explicit CodePage(unsigned number);

  // The code page of that number, made once for the program's life.
  static const CodePage& Get(unsigned number);
  // The system's: on Windows the ANSI code page; elsewhere the one Windows would use for the
  // user's language (CodePageOfLocale). Settled once.
  static const CodePage& System();

  unsigned number() const { return number_; }
  // Whether each byte is a character (1250-1258, 874), or characters take one or two (932, 936,
  // 949, 950).
  bool singleByte() const { return singleByte_; }

  // Single-byte code pages: the byte that stands for every byte whose character has the same
  // upper case (Unicode's simple mapping): the upper case itself where the code page has it.
  char Fold(char c) const { return static_cast<char>(fold_[static_cast<unsigned char>(c)]); }
  // Whether a letter and its fold agree but for the bits 0x20 (ASCII) and 0x70 (the rest), so
  // that a hash may fold eight bytes at a time that way.
  bool foldsByBits() const { return foldsByBits_; }

  // What two names that are one rune have in common: their upper case, byte by byte in a
  // single-byte code page, else as the code points of the whole name decoded. Bytes the code page
  // leaves undefined stay themselves, so that different bytes never become one rune.
  std::string Key(std::string_view name) const;

  // The text as UTF-8, for a person. A byte the code page leaves undefined reads as the Latin-1
  // character of its value (in Windows-1252: the C1 control).
  std::string ToUtf8(std::string_view text) const;

 private:
  unsigned number_ = 1252;
  bool singleByte_ = true;
  bool foldsByBits_ = true;
  std::array<unsigned char, 256> fold_{};
  std::array<char32_t, 256> characters_{};  // single-byte: what each byte stands for
};

// The code page that Windows (and Wine) uses for the language of a POSIX locale name
// ("ru_RU.UTF-8", "zh_TW", "C"): 1250 for Central European languages, 1251 Cyrillic, 1253 Greek,
// 1254 Turkish and Azerbaijani, 1255 Hebrew, 1256 Arabic script, 1257 Baltic, 1258 Vietnamese,
// 874 Thai, 932 Japanese, 936 Chinese (Simplified), 949 Korean, 950 Chinese (Traditional); 1252
// for every other language, and for C and POSIX.
unsigned CodePageOfLocale(std::string_view locale);

}  // namespace sigilflip
