#pragma once

#include <string>
#include <string_view>

// The platform's text converters, for the code pages of rune files: iconv and the C library's
// Unicode case on POSIX, MultiByteToWideChar and LCMapStringEx on Windows.
namespace sigilflip::native {

// Code points from kUndefinedByte on stand for the bytes (kUndefinedByte + byte) that a code page
// leaves undefined: lone surrogates, which no text holds.
inline constexpr char32_t kUndefinedByte = 0xDC00;

// Whether the platform can convert that Windows code page; whether each of its characters is one
// byte.
bool CanConvert(unsigned codePage);
bool IsSingleByte(unsigned codePage);
// The text as code points.
std::u32string Decode(unsigned codePage, std::string_view text);
// The upper case by Unicode's simple mapping, whatever the locale (no Turkish dotted I).
char32_t UpperCase(char32_t c);
// The ANSI code page on Windows; elsewhere that of the locale (LC_ALL, LC_CTYPE, LANG).
unsigned SystemCodePage();

}  // namespace sigilflip::native
