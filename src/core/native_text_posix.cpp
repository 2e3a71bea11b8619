#include <iconv.h>
#include <locale.h>
#include <wctype.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <string>

#include "code_page.h"
#include "native_text.h"

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

  std::u32string Decode(std::string_view text) {
    std::u32string decoded;
    char32_t buffer[64];
    auto* in = const_cast<char*>(text.data());
    std::size_t inLeft = text.size();
    iconv(iconv_, nullptr, nullptr, nullptr, nullptr);  // a fresh start
    for (;;) {
      auto* out = reinterpret_cast<char*>(buffer);
      std::size_t outLeft = sizeof(buffer);
      const std::size_t result = inLeft > 0 ? iconv(iconv_, &in, &inLeft, &out, &outLeft)
                                            : iconv(iconv_, nullptr, nullptr, &out, &outLeft);
      const int error = errno;
      decoded.append(buffer, static_cast<std::size_t>(out - reinterpret_cast<char*>(buffer)) / 4);
      if (result != static_cast<std::size_t>(-1)) {
        if (inLeft == 0 && out == reinterpret_cast<char*>(buffer)) {
          return decoded;  // flushed, nothing more held back
        }
        continue;
      }
      if (error == E2BIG) {
        continue;
      }
      // A byte the code page leaves undefined, or a lead byte with no trail: kept as itself.
      decoded += kUndefinedByte + static_cast<unsigned char>(*in);
      ++in;
      --inLeft;
      iconv(iconv_, nullptr, nullptr, nullptr, nullptr);
    }
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

std::u32string Decode(unsigned codePage, std::string_view text) {
  thread_local unsigned open = 0;
  thread_local std::unique_ptr<Decoder> decoder;
  if (decoder == nullptr || open != codePage) {
    decoder = std::make_unique<Decoder>(codePage);
    open = codePage;
  }
  return decoder->Decode(text);
}

char32_t UpperCase(char32_t c) {
  // The C library's Unicode locale: its case is Unicode's simple mapping.
  static const locale_t unicode = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
  return unicode != nullptr ? static_cast<char32_t>(towupper_l(static_cast<wint_t>(c), unicode))
                            : c;
}

unsigned SystemCodePage() {
  for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') {
      return CodePageOfLocale(value);
    }
  }
  return CodePageOfLocale("C");
}

}  // namespace sigilflip::native
