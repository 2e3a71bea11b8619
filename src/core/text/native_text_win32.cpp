#include <windows.h>

#include "text/native_text.h"
#include "text/windows_text.h"

namespace sigilflip::native {

bool CanConvert(unsigned codePage) {
  return IsValidCodePage(codePage) != FALSE;
}

bool IsSingleByte(unsigned codePage) {
  CPINFO info{};
  return GetCPInfo(codePage, &info) == FALSE || info.MaxCharSize == 1;
}

char32_t CharacterOf(unsigned codePage, std::string_view bytes) {
  wchar_t wide[2] = {};
  const int length = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(),
                                         static_cast<int>(bytes.size()), wide, 2);
  if (length == 1 && !IS_SURROGATE_PAIR(wide[0], wide[0])) {
    return wide[0];
  }
  if (length == 2 && IS_SURROGATE_PAIR(wide[0], wide[1])) {
    return 0x10000 + ((static_cast<char32_t>(wide[0]) - 0xD800) << 10) + (wide[1] - 0xDC00);
  }
  return kUndefined;
}

void UpperCase(std::u32string& characters, Casing casing) {
  // The characters below U+10000 but the surrogates, at once: each is one UTF-16 unit, and the
  // simple mapping maps each unit to one.
  std::wstring units;
  for (const char32_t c : characters) {
    if (c < 0x10000 && (c < 0xD800 || c > 0xDFFF)) {
      units += static_cast<wchar_t>(c);
    }
  }
  if (units.empty()) {
    return;
  }
  // Linguistic casing: Unicode's simple mapping (ς Σ, ı I, µ Μ), in Turkish with i İ. The
  // default, file-system casing leaves those as they are.
  std::wstring upper(units.size(), L'\0');
  const int length = LCMapStringEx(casing == Casing::kTurkic ? L"tr-TR" : LOCALE_NAME_INVARIANT,
                                   LCMAP_UPPERCASE | LCMAP_LINGUISTIC_CASING, units.data(),
                                   static_cast<int>(units.size()), upper.data(),
                                   static_cast<int>(upper.size()), nullptr, nullptr, 0);
  if (length != static_cast<int>(units.size())) {
    return;
  }
  std::size_t next = 0;
  for (char32_t& c : characters) {
    if (c < 0x10000 && (c < 0xD800 || c > 0xDFFF)) {
      c = upper[next++];
    }
  }
}

unsigned SystemCodePage() {
  return GetACP();
}

std::string SystemLocale() {
  wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
  return GetUserDefaultLocaleName(name, LOCALE_NAME_MAX_LENGTH) > 0 ? Utf8FromWide(name) : "";
}

}  // namespace sigilflip::native
