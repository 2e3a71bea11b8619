#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The code page that rune files are written in: Windows' ANSI code page, 8-bit text of one byte a
// character, of one or two (932, 936, 949, 950), or UTF-8 (65001, where Windows is set to "Use
// Unicode UTF-8 for worldwide language support"). The core keeps names as the bytes they are; a
// code page says which names are one rune and how they read to a person.
namespace sigilflip {

// The letter-case rules of the system's language: Unicode's simple mapping, or, for Turkish and
// Azerbaijani, the same with i upper-cased to İ (and ı to I, as everywhere).
enum class Casing { kInvariant, kTurkic };

class CodePage {
 public:
  // Windows-1252, as on Western European Windows.
  CodePage() : CodePage(1252) {}
  // A Windows code page by its number (1250, 1251, 932, 65001...). One the platform cannot
  // convert is taken for 1252. Its characters and their upper case are read from the platform
  // once, here, into tables.
  explicit CodePage(unsigned number, Casing casing = Casing::kInvariant);

  // The code page of that number and casing, made once for the program's life.
  static const CodePage& Get(unsigned number, Casing casing = Casing::kInvariant);
  // The system's: on Windows the ANSI code page and the user's locale's casing; elsewhere those
  // that Windows would have for the user's language (CodePageOfLocale, CasingOfLocale). Settled
  // once.
  static const CodePage& System();

  unsigned number() const { return number_; }
  Casing casing() const { return casing_; }
  // Whether each byte is a character (1250-1258, 874), or characters take one byte or more.
  bool singleByte() const { return singleByte_; }

  // Single-byte code pages: the byte that stands for every byte whose character has the same
  // upper case: the upper case itself where the code page has it.
  char Fold(char c) const { return static_cast<char>(fold_[static_cast<unsigned char>(c)]); }
  // Whether a letter and its fold agree but for the bits 0x20 (ASCII) and 0x70 (the rest), so
  // that a hash may fold eight bytes at a time that way.
  bool foldsByBits() const { return foldsByBits_; }

  // What two names that are one rune have in common: their upper case, byte by byte in a
  // single-byte code page, else the upper case of each character decoded. Bytes the code
  // page leaves undefined stay themselves, so that different bytes never become one rune.
  std::string Key(std::string_view name) const;

  // The text as UTF-8, for a person. A byte the code page leaves undefined reads as \xHH, so that
  // it shows, and two such bytes differ.
  std::string ToUtf8(std::string_view text) const;

 private:
  // A character of a multi-byte code page, and its upper case; kNone where bytes make none.
  struct Character {
    char32_t character = kNone;
    char32_t upper = kNone;
  };
  static constexpr char32_t kNone = 0xFFFFFFFF;

  // Calls `each(Character)` for each character of `text` in turn; a byte that starts none is
  // a character of its own, kUndefined + the byte.
  template <typename Each>
  void ForEachCharacter(std::string_view text, Each&& each) const;
  Character Utf8Character(std::string_view text, std::size_t& at) const;

  unsigned number_ = 1252;
  Casing casing_ = Casing::kInvariant;
  bool singleByte_ = true;
  bool foldsByBits_ = true;
  std::array<unsigned char, 256> fold_{};
  std::array<Character, 256> single_{};  // what each byte is on its own
  // Double-byte code pages: for each lead byte (leadIndex_: its index + 1, else 0), the
  // characters of its trail bytes.
  std::array<std::uint8_t, 256> leadIndex_{};
  std::vector<std::array<Character, 256>> trails_;
  // UTF-8: the upper case of each character below U+10000; the others stay as they are.
  std::vector<char16_t> upperBelow10000_;
};

// Code points from kUndefined on stand for the bytes (kUndefined + byte) that a code page leaves
// undefined: lone surrogates, which no text holds.
inline constexpr char32_t kUndefined = 0xDC00;

// The code page that Windows (and Wine) uses for the language of a POSIX locale name
// ("ru_RU.UTF-8", "zh_TW", "C"): 1250 for Central European languages, 1251 Cyrillic, 1253 Greek,
// 1254 Turkish and Azerbaijani, 1255 Hebrew, 1256 Arabic script, 1257 Baltic, 1258 Vietnamese,
// 874 Thai, 932 Japanese, 936 Chinese (Simplified), 949 Korean, 950 Chinese (Traditional), UTF-8
// (65001) for the languages Windows writes in Unicode alone (Armenian, Georgian, Hindi...); 1252
// for every other language, and for C and POSIX.
unsigned CodePageOfLocale(std::string_view locale);
// The casing of a POSIX or Windows locale name ("tr_TR.UTF-8", "az-Latn-AZ"): Turkic for Turkish
// and Azerbaijani.
Casing CasingOfLocale(std::string_view locale);

}  // namespace sigilflip
