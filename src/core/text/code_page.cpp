#include "text/code_page.h"

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <utility>

#include "text/native_text.h"

namespace sigilflip {
namespace {

constexpr unsigned kUtf8 = 65001;

void AppendUtf8(char32_t c, std::string& out) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

bool IsUndefinedByte(char32_t c) {
  return c >= kUndefined && c <= kUndefined + 0xFF;
}

// What a person reads for a character: an undefined byte as \xHH.
void AppendReadable(char32_t c, std::string& out) {
  if (!IsUndefinedByte(c)) {
    AppendUtf8(c, out);
    return;
  }
  constexpr std::string_view kDigits = "0123456789ABCDEF";
  const unsigned byte = c - kUndefined;
  out += "\\x";
  out += kDigits[byte >> 4];
  out += kDigits[byte & 0xF];
}

// The bits that the table's hash leaves out of a byte, so that a letter and its upper case agree
// (à À, ÿ Ÿ, š Š in Windows-1252).
unsigned char HashBits(unsigned char byte) {
  return byte < 0x80 ? byte & 0xDF : byte & 0x8F;
}

// Whether a code point that the platform made of bytes stands for a character: not where it made
// none, nor a C1 control, which Windows makes of the bytes that its code pages leave undefined.
bool IsCharacter(char32_t c) {
  return c != kUndefined && (c < 0x80 || c > 0x9F);
}

bool IsContinuation(unsigned byte, unsigned lowest = 0x80, unsigned highest = 0xBF) {
  return byte >= lowest && byte <= highest;
}

}  // namespace

CodePage::CodePage(unsigned number, Casing casing) : casing_(casing) {
  // UTF-8 is decoded here, by its rules; the other code pages through the platform.
  number_ = number == kUtf8 || native::CanConvert(number) ? number : 1252;
  singleByte_ = number_ != kUtf8 && native::IsSingleByte(number_);
  // What each byte is on its own, and what each byte that is none makes with the byte after it.
  std::u32string characters;
  for (unsigned byte = 0; byte < 256; ++byte) {
    const char32_t c = number_ == kUtf8
                           ? (byte < 0x80 ? byte : kUndefined)
                           : native::CharacterOf(number_, std::string(1, static_cast<char>(byte)));
    characters += IsCharacter(c) ? c : kUndefined + byte;
  }
  if (!singleByte_ && number_ != kUtf8) {
    for (unsigned lead = 0x80; lead < 256; ++lead) {
      if (!IsUndefinedByte(characters[lead])) {
        continue;
      }
      std::array<Character, 256> trails{};
      bool any = false;
      for (unsigned trail = 0; trail < 256; ++trail) {
        const char bytes[] = {static_cast<char>(lead), static_cast<char>(trail)};
        const char32_t c = native::CharacterOf(number_, {bytes, 2});
        trails[trail].character = IsCharacter(c) ? c : kNone;
        any = any || IsCharacter(c);
      }
      if (any) {
        trails_.push_back(trails);
        leadIndex_[lead] = static_cast<std::uint8_t>(trails_.size());
      }
    }
  }
  // The upper case of every character the code page has, asked of the platform at once.
  std::u32string upper = characters;
  for (const auto& trails : trails_) {
    for (const Character& trail : trails) {
      upper += trail.character == kNone ? kUndefined : trail.character;
    }
  }
  if (number_ == kUtf8) {
    for (char32_t c = 0; c < 0x10000; ++c) {
      upper += c;
    }
  }
  native::UpperCase(upper, casing_);
  for (unsigned byte = 0; byte < 256; ++byte) {
    single_[byte] = {characters[byte],
                     IsUndefinedByte(characters[byte]) ? characters[byte] : upper[byte]};
  }
  std::size_t at = 256;
  for (auto& trails : trails_) {
    for (Character& trail : trails) {
      trail.upper = trail.character == kNone ? kNone : upper[at];
      ++at;
    }
  }
  if (number_ == kUtf8) {
    upperBelow10000_.assign(upper.begin() + static_cast<std::ptrdiff_t>(at), upper.end());
  }
  // Single-byte code pages: the byte of each character, and so each byte's fold. Bytes whose
  // upper case the code page lacks (µ in Windows-1252) stand for themselves, or for the first byte
  // of the same upper case.
  std::map<char32_t, unsigned char> byteOf;
  for (unsigned byte = 0; byte < 256; ++byte) {
    fold_[byte] = static_cast<unsigned char>(byte);
    byteOf.emplace(characters[byte], static_cast<unsigned char>(byte));
  }
  if (!singleByte_) {
    return;
  }
  std::map<char32_t, unsigned char> first;
  for (unsigned byte = 0; byte < 256; ++byte) {
    const char32_t upperCase = single_[byte].upper;
    const auto own = byteOf.find(upperCase);
    fold_[byte] = own != byteOf.end()
                      ? own->second
                      : first.emplace(upperCase, static_cast<unsigned char>(byte)).first->second;
    foldsByBits_ =
        foldsByBits_ && HashBits(static_cast<unsigned char>(byte)) == HashBits(fold_[byte]);
  }
}

const CodePage& CodePage::Get(unsigned number, Casing casing) {
  static std::mutex made;
  static std::map<std::pair<unsigned, Casing>, std::unique_ptr<const CodePage>> pages;
  const std::lock_guard lock(made);
  std::unique_ptr<const CodePage>& page = pages[{number, casing}];
  if (page == nullptr) {
    page = std::make_unique<const CodePage>(number, casing);
  }
  return *page;
}

const CodePage& CodePage::System() {
  static const CodePage& system =
      Get(native::SystemCodePage(), CasingOfLocale(native::SystemLocale()));
  return system;
}

CodePage::Character CodePage::Utf8Character(std::string_view text, std::size_t& at) const {
  const auto byte = [&](std::size_t i) {
    return at + i < text.size() ? unsigned{static_cast<unsigned char>(text[at + i])} : 0u;
  };
  const unsigned lead = byte(0);
  // The length of a well-formed sequence (Unicode's table 3-7), and the value of its lead byte.
  std::size_t size = 0;
  char32_t c = 0;
  if (lead >= 0xC2 && lead <= 0xDF && IsContinuation(byte(1))) {
    size = 2;
    c = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF &&
             IsContinuation(byte(1), lead == 0xE0 ? 0xA0 : 0x80, lead == 0xED ? 0x9F : 0xBF) &&
             IsContinuation(byte(2))) {
    size = 3;
    c = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4 &&
             IsContinuation(byte(1), lead == 0xF0 ? 0x90 : 0x80, lead == 0xF4 ? 0x8F : 0xBF) &&
             IsContinuation(byte(2)) && IsContinuation(byte(3))) {
    size = 4;
    c = lead & 0x07;
  } else {
    return single_[static_cast<unsigned char>(text[at++])];
  }
  for (std::size_t i = 1; i < size; ++i) {
    c = (c << 6) | (byte(i) & 0x3F);
  }
  at += size;
  return {c, c < 0x10000 ? upperBelow10000_[c] : c};
}

template <typename Each>
void CodePage::ForEachCharacter(std::string_view text, Each&& each) const {
  for (std::size_t at = 0; at < text.size();) {
    const auto byte = static_cast<unsigned char>(text[at]);
    if (byte < 0x80 || singleByte_) {
      each(single_[byte]);
      ++at;
    } else if (number_ == kUtf8) {
      each(Utf8Character(text, at));
    } else if (leadIndex_[byte] != 0 && at + 1 < text.size() &&
               trails_[leadIndex_[byte] - 1u][static_cast<unsigned char>(text[at + 1])].character !=
                   kNone) {
      each(trails_[leadIndex_[byte] - 1u][static_cast<unsigned char>(text[at + 1])]);
      at += 2;
    } else {
      each(single_[byte]);  // a lead byte without its trail stands alone, undefined
      ++at;
    }
  }
}

std::string CodePage::Key(std::string_view name) const {
  std::string key;
  if (singleByte_) {
    key.reserve(name.size());
    for (const char c : name) {
      key += Fold(c);
    }
    return key;
  }
  // Each character's upper case in three bytes, enough for any code point.
  key.resize(3 * name.size());
  char* at = key.data();
  ForEachCharacter(name, [&at](Character c) {
    at[0] = static_cast<char>(c.upper);
    at[1] = static_cast<char>(c.upper >> 8);
    at[2] = static_cast<char>(c.upper >> 16);
    at += 3;
  });
  key.resize(static_cast<std::size_t>(at - key.data()));
  return key;
}

std::string CodePage::ToUtf8(std::string_view text) const {
  // Every code page reads ASCII as ASCII, and most names are.
  if (std::ranges::all_of(text, [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
    return std::string(text);
  }
  std::string out;
  out.reserve(text.size());
  ForEachCharacter(text, [&](Character c) { AppendReadable(c.character, out); });
  return out;
}

namespace {

// The language of a POSIX or Windows locale name: "tr" of "tr_TR.UTF-8" and of "tr-TR".
std::string_view LanguageOf(std::string_view locale) {
  return locale.substr(0, locale.find_first_of("_-.@"));
}

}  // namespace

Casing CasingOfLocale(std::string_view locale) {
  const std::string_view language = LanguageOf(locale);
  return language == "tr" || language == "az" ? Casing::kTurkic : Casing::kInvariant;
}

unsigned CodePageOfLocale(std::string_view locale) {
  const std::string_view language = LanguageOf(locale);
  const std::size_t underscore = locale.find('_');
  const std::string_view region =
      underscore == std::string_view::npos
          ? std::string_view{}
          : locale.substr(underscore + 1, locale.find_first_of(".@", underscore) - underscore - 1);
  if (language == "zh") {
    return region == "TW" || region == "HK" || region == "MO" ? 950 : 936;
  }
  if (language == "sr") {
    return locale.ends_with("@latin") ? 1250 : 1251;
  }
  if (language == "uz") {
    return locale.ends_with("@cyrillic") ? 1251 : 1254;
  }
  static const std::map<std::string_view, unsigned> kByLanguage = {
      {"bs", 1250}, {"cs", 1250}, {"hr", 1250}, {"hu", 1250}, {"pl", 1250},
      {"ro", 1250}, {"sk", 1250}, {"sl", 1250}, {"sq", 1250},  //
      {"be", 1251}, {"bg", 1251}, {"kk", 1251}, {"ky", 1251}, {"mk", 1251},
      {"mn", 1251}, {"ru", 1251}, {"tg", 1251}, {"tt", 1251}, {"uk", 1251},  //
      {"el", 1253},                                                          //
      {"az", 1254}, {"tr", 1254},                                            //
      {"he", 1255}, {"yi", 1255},                                            //
      {"ar", 1256}, {"fa", 1256}, {"ps", 1256}, {"ug", 1256}, {"ur", 1256},  //
      {"et", 1257}, {"lt", 1257}, {"lv", 1257},                              //
      {"vi", 1258},                                                          //
      {"th", 874},                                                           //
      {"ja", 932},                                                           //
      {"ko", 949},
  };
  // Languages that Windows writes in Unicode alone: Wine gives them UTF-8 as the ANSI code page.
  static const std::set<std::string_view> kUnicodeOnly = {
      "am", "as", "bn", "bo", "dv", "gu", "hi", "hy", "iu",  "ka", "km", "kn",
      "lo", "ml", "mr", "ne", "or", "pa", "sa", "si", "syr", "ta", "te", "ti",
  };
  if (kUnicodeOnly.contains(language)) {
    return kUtf8;
  }
  const auto found = kByLanguage.find(language);
  return found != kByLanguage.end() ? found->second : 1252;
}

}  // namespace sigilflip
