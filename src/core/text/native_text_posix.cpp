#include <iconv.h>
#include <locale.h>
#include <wctype.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "text/native_text.h"

namespace sigilflip::native {
namespace {

// An iconv converter from a Windows code page to UTF-32 (little-endian, as x86 and ARM hold
// char32_t), closed when it goes.
class Decoder {
 public:
  explicit Decoder(unsigned codePage)
      : iconv_(iconv_open("UTF-32LE", ("CP" + std::to_string(codePage)).c_str())) {}
  ~Decoder() {
    if (ok()) {
      iconv_close(iconv_);
    }
  }
  Decoder(const Decoder&) = delete;
  Decoder& operator=(const Decoder&) = delete;

  bool ok() const { return iconv_ != reinterpret_cast<iconv_t>(-1); }

  // The one character of `bytes`, or kUndefined.
  char32_t CharacterOf(std::string_view bytes) {
    char32_t decoded[2] = {};
    auto* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    auto* out = reinterpret_cast<char*>(decoded);
    std::size_t outLeft = sizeof(decoded);
    iconv(iconv_, nullptr, nullptr, nullptr, nullptr);  // a fresh start
    const bool whole =
        iconv(iconv_, &in, &inLeft, &out, &outLeft) != static_cast<std::size_t>(-1) &&
        iconv(iconv_, nullptr, nullptr, &out, &outLeft) != static_cast<std::size_t>(-1);
    return whole && outLeft == sizeof(decoded) - sizeof(char32_t) ? decoded[0] : kUndefined;
  }

 private:
  iconv_t iconv_;
};

}  // namespace

bool CanConvert(unsigned codePage) {
  return Decoder(codePage).ok();
}

bool IsSingleByte(unsigned codePage) {
  return codePage != 932 && codePage != 936 && codePage != 949 && codePage != 950;
}

char32_t CharacterOf(unsigned codePage, std::string_view bytes) {
  thread_local unsigned open = 0;
  thread_local std::unique_ptr<Decoder> decoder;
  if (decoder == nullptr || open != codePage) {
    decoder = std::make_unique<Decoder>(codePage);
    open = codePage;
  }
  return decoder->CharacterOf(bytes);
}

void UpperCase(std::u32string& characters, Casing casing) {
  // The C library's Unicode locale: its case is Unicode's simple mapping. Turkish has its own,
  // where the C library has the locale; where it lacks it, the one letter it changes.
  static const locale_t unicode = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
  static const locale_t turkish = newlocale(LC_CTYPE_MASK, "tr_TR.UTF-8", nullptr);
  const bool turkic = casing == Casing::kTurkic;
  const locale_t rules = turkic && turkish != nullptr ? turkish : unicode;
  for (char32_t& c : characters) {
    if (c >= 0x10000 || (c >= 0xD800 && c <= 0xDFFF) || rules == nullptr) {
      continue;
    }
    c = turkic && rules != turkish && c == U'i'
            ? U'\u0130'
            : static_cast<char32_t>(towupper_l(static_cast<wint_t>(c), rules));
  }
}

unsigned SystemCodePage() {
  return CodePageOfLocale(SystemLocale());
}

std::string SystemLocale() {
  for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') {
      return value;
    }
  }
  return "C";
}

}  // namespace sigilflip::native
