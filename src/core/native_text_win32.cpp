#include <windows.h>

#include "native_text.h"

namespace sigilflip::native {

bool CanConvert(unsigned codePage) {
  return IsValidCodePage(codePage) != FALSE;
}

bool IsSingleByte(unsigned codePage) {
  CPINFO info{};
  return GetCPInfo(codePage, &info) == FALSE || info.MaxCharSize == 1;
}

std::u32string Decode(unsigned codePage, std::string_view text) {
  // A character at a time, so that a byte the code page leaves undefined stays itself.
  std::u32string decoded;
  decoded.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) {
    const int size =
        IsDBCSLeadByteEx(codePage, static_cast<BYTE>(text[at])) && at + 1 < text.size() ? 2 : 1;
    wchar_t wide[2] = {};
    const int length =
        MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data() + at, size, wide, 2);
    if (length == 1) {
      decoded += wide[0];
    } else if (length == 2 && IS_SURROGATE_PAIR(wide[0], wide[1])) {
      decoded += 0x10000 + ((static_cast<char32_t>(wide[0]) - 0xD800) << 10) + (wide[1] - 0xDC00);
    } else {
      decoded += kUndefinedByte + static_cast<unsigned char>(text[at]);
      at += 1;
      continue;
    }
    at += static_cast<std::size_t>(size);
  }
  return decoded;
}

char32_t UpperCase(char32_t c) {
  if (c >= 0x10000 || (c >= 0xD800 && c <= 0xDFFF)) {
    return c;  // beyond the simple mappings that LCMapStringEx makes of single UTF-16 units
  }
  wchar_t in = static_cast<wchar_t>(c);
  wchar_t out = in;
  // Linguistic casing in the invariant locale: Unicode's simple mapping (ς Σ, ı I, µ Μ), without
  // Turkish rules. The default, file-system casing leaves those three as they are.
  return LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE | LCMAP_LINGUISTIC_CASING, &in, 1,
                       &out, 1, nullptr, nullptr, 0) == 1
             ? out
             : c;
}

unsigned SystemCodePage() {
  return GetACP();
}

}  // namespace sigilflip::native
