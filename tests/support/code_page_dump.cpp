// Prints how this build reads every single byte and every lead/trail pair of the code pages that
// Windows gives its languages, a line each: the code page, the bytes, what a person reads
// (CodePage::ToUtf8, an undefined byte as \xHH) and the key that tells runes apart, in hex. The
// Linux build must print what the Windows build prints.
#include <cstdio>
#include <string>

#include "text/code_page.h"

namespace {

using sigilflip::Casing;
using sigilflip::CodePage;

void Print(const CodePage& page, const char* name, const std::string& bytes) {
  std::printf("%s ", name);
  for (const char byte : bytes) {
    std::printf("%02X", static_cast<unsigned char>(byte));
  }
  std::printf(" ");
  for (const char c : page.ToUtf8(bytes)) {
    const auto byte = static_cast<unsigned char>(c);
    std::printf(byte < 0x20 || byte == 0x7F ? "^%02X" : "%c", byte);  // control characters
  }
  std::printf(" ");
  for (const char c : page.Key(bytes)) {
    std::printf("%02X", static_cast<unsigned char>(c));
  }
  std::printf("\n");
}

}  // namespace

int main() {
  const struct {
    unsigned number;
    Casing casing;
    const char* name;
  } pages[] = {
      {874, Casing::kInvariant, "874"},   {932, Casing::kInvariant, "932"},
      {936, Casing::kInvariant, "936"},   {949, Casing::kInvariant, "949"},
      {950, Casing::kInvariant, "950"},   {1250, Casing::kInvariant, "1250"},
      {1251, Casing::kInvariant, "1251"}, {1252, Casing::kInvariant, "1252"},
      {1253, Casing::kInvariant, "1253"}, {1254, Casing::kInvariant, "1254"},
      {1254, Casing::kTurkic, "1254-tr"}, {1255, Casing::kInvariant, "1255"},
      {1256, Casing::kInvariant, "1256"}, {1257, Casing::kInvariant, "1257"},
      {1258, Casing::kInvariant, "1258"},
  };
  for (const auto& [number, casing, name] : pages) {
    const CodePage& page = CodePage::Get(number, casing);
    if (page.number() != number) {
      std::printf("%s: not converted here\n", name);
      continue;
    }
    for (unsigned lead = 0; lead < 256; ++lead) {
      Print(page, name, std::string(1, static_cast<char>(lead)));
      for (unsigned trail = 0; lead >= 0x80 && !page.singleByte() && trail < 256; ++trail) {
        Print(page, name, {static_cast<char>(lead), static_cast<char>(trail)});
      }
    }
  }
  return 0;
}
