#include <iconv.h>
#include <locale.h>
#include <wctype.h>

#include <cstdlib>
#include <memory>
#include <optional>
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

// The characters that Windows gives bytes which the C library's converters leave undefined, so
// that a name reads, and is one rune with another, as on Windows: the user-defined areas of 936,
// 949 and 950 and the pairs of 936 that GBK leaves unassigned are private-use characters there;
// 1255 has a Hebrew point at CA. Every other byte and pair iconv reads as Windows does (the test
// command holds this build's reading of every byte and pair to the Windows build's).
struct WindowsOwn {
  // The trail bytes of a lead, each run from `first` to `last`; a run that ends at 0 is none.
  struct Run {
    unsigned char first = 0;
    unsigned char last = 0;
    unsigned size() const { return last == 0 ? 0u : last - first + 1u; }
  };
  unsigned codePage;
  unsigned char firstLead;
  unsigned char lastLead;
  Run trails[2];   // none: the lead bytes are characters alone
  char32_t first;  // the first pair's character; the others follow in order, lead by lead
};
constexpr WindowsOwn kWindowsOwn[] = {
    {936, 0xA1, 0xA7, {{0x40, 0x7E}, {0x80, 0xA0}}, 0xE4C6},
    {936, 0xAA, 0xAF, {{0xA1, 0xFE}}, 0xE000},
    {936, 0xF8, 0xFE, {{0xA1, 0xFE}}, 0xE234},
    // The pairs GBK leaves unassigned, in order from U+E766.
    {936, 0xA2, 0xA2, {{0xAB, 0xB0}}, 0xE766},
    {936, 0xA2, 0xA2, {{0xE3, 0xE4}}, 0xE76C},
    {936, 0xA2, 0xA2, {{0xEF, 0xF0}}, 0xE76E},
    {936, 0xA2, 0xA2, {{0xFD, 0xFE}}, 0xE770},
    {936, 0xA4, 0xA4, {{0xF4, 0xFE}}, 0xE772},
    {936, 0xA5, 0xA5, {{0xF7, 0xFE}}, 0xE77D},
    {936, 0xA6, 0xA6, {{0xB9, 0xC0}}, 0xE785},
    {936, 0xA6, 0xA6, {{0xD9, 0xDF}}, 0xE78D},
    {936, 0xA6, 0xA6, {{0xEC, 0xED}}, 0xE794},
    {936, 0xA6, 0xA6, {{0xF3, 0xF3}}, 0xE796},
    {936, 0xA6, 0xA6, {{0xF6, 0xFE}}, 0xE797},
    {936, 0xA7, 0xA7, {{0xC2, 0xD0}}, 0xE7A0},
    {936, 0xA7, 0xA7, {{0xF2, 0xFE}}, 0xE7AF},
    {936, 0xA8, 0xA8, {{0x96, 0xA0}}, 0xE7BC},
    {936, 0xA8, 0xA8, {{0xBC, 0xBC}}, 0xE7C7},
    {936, 0xA8, 0xA8, {{0xBF, 0xBF}}, 0xE7C8},
    {936, 0xA8, 0xA8, {{0xC1, 0xC4}}, 0xE7C9},
    {936, 0xA8, 0xA8, {{0xEA, 0xFE}}, 0xE7CD},
    {936, 0xA9, 0xA9, {{0x58, 0x58}}, 0xE7E2},
    {936, 0xA9, 0xA9, {{0x5B, 0x5B}}, 0xE7E3},
    {936, 0xA9, 0xA9, {{0x5D, 0x5F}}, 0xE7E4},
    {936, 0xA9, 0xA9, {{0x89, 0x95}}, 0xE7E7},
    {936, 0xA9, 0xA9, {{0x97, 0xA3}}, 0xE7F4},
    {936, 0xA9, 0xA9, {{0xF0, 0xFE}}, 0xE801},
    {936, 0xD7, 0xD7, {{0xFA, 0xFE}}, 0xE810},
    {936, 0xFE, 0xFE, {{0x50, 0x7E}, {0x80, 0xA0}}, 0xE815},
    {949, 0xC9, 0xC9, {{0xA1, 0xFE}}, 0xE000},
    {949, 0xFE, 0xFE, {{0xA1, 0xFE}}, 0xE05E},
    {950, 0xFA, 0xFE, {{0x40, 0x7E}, {0xA1, 0xFE}}, 0xE000},
    {950, 0x8E, 0xA0, {{0x40, 0x7E}, {0xA1, 0xFE}}, 0xE311},
    {950, 0x81, 0x8D, {{0x40, 0x7E}, {0xA1, 0xFE}}, 0xEEB8},
    {1255, 0xCA, 0xCA, {}, 0x05BA},
};

// The character Windows gives `bytes` where iconv gives none, if it is one of those above.
std::optional<char32_t> WindowsOwnCharacter(unsigned codePage, std::string_view bytes) {
  const auto lead = static_cast<unsigned char>(bytes[0]);
  for (const WindowsOwn& own : kWindowsOwn) {
    if (own.codePage != codePage || lead < own.firstLead || lead > own.lastLead ||
        (bytes.size() == 1) != (own.trails[0].last == 0)) {
      continue;
    }
    char32_t character = own.first;
    if (bytes.size() == 1) {
      return character;
    }
    const auto trail = static_cast<unsigned char>(bytes[1]);
    character += (lead - own.firstLead) * (own.trails[0].size() + own.trails[1].size());
    for (const WindowsOwn::Run& run : own.trails) {
      if (run.size() != 0 && trail >= run.first && trail <= run.last) {
        return character + (trail - run.first);
      }
      character += run.size();
    }
  }
  return std::nullopt;
}

}  // namespace

bool CanConvert(unsigned codePage) {
  return Decoder(codePage).ok();
}

bool IsSingleByte(unsigned codePage) {
  return codePage != 932 && codePage != 936 && codePage != 949 && codePage != 950;
}

char32_t CharacterOf(unsigned codePage, std::string_view bytes) {
  if (const std::optional<char32_t> own = WindowsOwnCharacter(codePage, bytes)) {
    return *own;
  }
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
