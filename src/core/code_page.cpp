#include "code_page.h"

#include <map>
#include <memory>
#include <mutex>
#include <utility>

#include "native_text.h"

namespace sigilflip {
namespace {

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
  return c >= native::kUndefinedByte && c <= native::kUndefinedByte + 0xFF;
}

// What a person reads for a code point of a decoded name.
char32_t Readable(char32_t c) {
  return IsUndefinedByte(c) ? c - native::kUndefinedByte : c;
}

// The bits that the table's hash leaves out of a byte, so that a letter and its upper case agree
// (à À, ÿ Ÿ, š Š in Windows-1252).
unsigned char HashBits(unsigned char byte) {
  return byte < 0x80 ? byte & 0xDF : byte & 0x8F;
}

}  // namespace

CodePage::CodePage(unsigned number) {
  number_ = native::CanConvert(number) ? number : 1252;
  singleByte_ = native::IsSingleByte(number_);
  for (unsigned byte = 0; byte < 256; ++byte) {
    fold_[byte] = static_cast<unsigned char>(byte);
    characters_[byte] = byte;
  }
  if (!singleByte_) {
    return;
  }
  // Each byte's character and its upper case; the byte of each character the code page has.
  std::array<char32_t, 256> upper{};
  std::map<char32_t, unsigned char> byteOf;
  for (unsigned byte = 0; byte < 256; ++byte) {
    const std::u32string decoded = native::Decode(number_, std::string(1, static_cast<char>(byte)));
    const bool defined = decoded.size() == 1 && !IsUndefinedByte(decoded[0]);
    characters_[byte] = defined ? decoded[0] : byte;
    upper[byte] = defined ? native::UpperCase(decoded[0]) : native::kUndefinedByte + byte;
    if (defined) {
      byteOf.emplace(decoded[0], static_cast<unsigned char>(byte));
    }
  }
  // Bytes whose upper case the code page lacks (µ in Windows-1252) stand for themselves, or for
  // the first byte of the same upper case.
  std::map<char32_t, unsigned char> first;
  for (unsigned byte = 0; byte < 256; ++byte) {
    const auto own = byteOf.find(upper[byte]);
    fold_[byte] = own != byteOf.end()
                      ? own->second
                      : first.emplace(upper[byte], static_cast<unsigned char>(byte)).first->second;
    foldsByBits_ =
        foldsByBits_ && HashBits(static_cast<unsigned char>(byte)) == HashBits(fold_[byte]);
  }
}

const CodePage& CodePage::Get(unsigned number) {
  static std::mutex made;
  static std::map<unsigned, std::unique_ptr<const CodePage>> pages;
  const std::lock_guard lock(made);
  std::unique_ptr<const CodePage>& page = pages[number];
  if (page == nullptr) {
    page = std::make_unique<const CodePage>(number);
  }
  return *page;
}

const CodePage& CodePage::System() {
  static const CodePage& system = Get(native::SystemCodePage());
  return system;
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
  for (const char32_t c : native::Decode(number_, name)) {
    const char32_t upper = IsUndefinedByte(c) ? c : native::UpperCase(c);
    for (int shift = 0; shift < 32; shift += 8) {
      key += static_cast<char>((upper >> shift) & 0xFF);
    }
  }
  return key;
}

std::string CodePage::ToUtf8(std::string_view text) const {
  std::string out;
  out.reserve(text.size());
  if (singleByte_) {
    for (const char c : text) {
      AppendUtf8(characters_[static_cast<unsigned char>(c)], out);
    }
    return out;
  }
  for (const char32_t c : native::Decode(number_, text)) {
    AppendUtf8(Readable(c), out);
  }
  return out;
}

unsigned CodePageOfLocale(std::string_view locale) {
  const std::string_view language = locale.substr(0, locale.find_first_of("_.@"));
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
  static const std::map<std::string_view, unsigned> kByLanguage = {
      {"bs", 1250}, {"cs", 1250}, {"hr", 1250}, {"hu", 1250}, {"pl", 1250},
      {"ro", 1250}, {"sk", 1250}, {"sl", 1250}, {"sq", 1250},  //
      {"be", 1251}, {"bg", 1251}, {"kk", 1251}, {"ky", 1251}, {"mk", 1251},
      {"mn", 1251}, {"ru", 1251}, {"tg", 1251}, {"tt", 1251}, {"uk", 1251},  //
      {"el", 1253},                                                          //
      {"az", 1254}, {"tr", 1254}, {"uz", 1254},                              //
      {"he", 1255}, {"yi", 1255},                                            //
      {"ar", 1256}, {"fa", 1256}, {"ps", 1256}, {"ur", 1256},                //
      {"et", 1257}, {"lt", 1257}, {"lv", 1257},                              //
      {"vi", 1258},                                                          //
      {"th", 874},                                                           //
      {"ja", 932},                                                           //
      {"ko", 949},
  };
  const auto found = kByLanguage.find(language);
  return found != kByLanguage.end() ? found->second : 1252;
}

}  // namespace sigilflip
