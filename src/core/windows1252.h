#pragma once

#include <array>
#include <string>
#include <string_view>

namespace sigilflip {

// Rune files are Windows-1252 text on every platform. The core keeps their bytes as they are:
// each byte is one character, and the five bytes that Windows-1252 leaves unassigned stand for
// the C1 control characters of the same value, so every byte sequence round-trips.

// The upper case of every byte: the Unicode simple upper-case mapping, restricted to the characters
// whose upper case is also in Windows-1252. Independent of any locale.
extern const std::array<unsigned char, 256> kUpperCase1252;

inline char UpperCase1252(char c) {
  return static_cast<char>(kUpperCase1252[static_cast<unsigned char>(c)]);
}

// The Unicode code point that a byte stands for.
char32_t CodePoint1252(char c);

// The text as UTF-8, for showing it to a person.
std::string Utf8From1252(std::string_view text);

}  // namespace sigilflip
