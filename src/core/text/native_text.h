#pragma once

#include <string>
#include <string_view>

#include "text/code_page.h"

// The platform's text converters, for the code pages of rune files: iconv and the C library's
// Unicode case on POSIX, MultiByteToWideChar and LCMapStringEx on Windows. CodePage asks them once
// for its tables.
namespace sigilflip::native {

// Whether the platform can convert that Windows code page; whether each of its characters is one
// byte.
bool CanConvert(unsigned codePage);
bool IsSingleByte(unsigned codePage);
// The one character that `bytes` (one or two) make in the code page, or kUndefined where they
// make none, or more than one.
char32_t CharacterOf(unsigned codePage, std::string_view bytes);
// Upper-cases each character in place by `casing`'s rules (Unicode's simple mapping, with the
// Turkish dotted I for kTurkic). Characters beyond U+FFFF stay as they are.
void UpperCase(std::u32string& characters, Casing casing);
// The ANSI code page on Windows; elsewhere that of the locale (SystemLocale).
unsigned SystemCodePage();
// The user's locale: on Windows its name ("tr-TR"); elsewhere LC_ALL, LC_CTYPE or LANG, the first
// that is set ("C" where none is).
std::string SystemLocale();

}  // namespace sigilflip::native
