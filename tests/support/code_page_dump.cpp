// Prints how this build reads every single byte and every lead/trail pair of the code pages that
// Windows gives its languages, a line each: the code page, the bytes, what a person reads
// (CodePage::ToUtf8, an undefined byte as \xHH) and the key that tells runes apart, in hex. The
// Linux build must print what the Windows build prints.
#include <cstdio>
#include <string>

#include "text/code_page.h"

namespace {

void Print(const sigilflip::CodePage& page, const char* name, const std::string& bytes) {
  std::printf("%s", name);
  for (const auto& [text, hex] :
       {std::pair{bytes, true}, {page.ToUtf8(bytes), false}, {page.Key(bytes), true}}) {
    std::printf(" ");
    for (const char c : text) {
      const auto byte = static_cast<unsigned char>(c);
      std::printf(hex ? "%02X" : byte < 0x20 || byte == 0x7F ? "^%02X" : "%c", byte);
    }
  }
  std::printf("\n");
}

void PrintAll(const sigilflip::CodePage& page, const char* name) {
  for (unsigned lead = 0; lead < 256; ++lead) {
    Print(page, name, std::string(1, static_cast<char>(lead)));
    for (unsigned trail = 0; lead >= 0x80 && !page.singleByte() && trail < 256; ++trail) {
      Print(page, name, {static_cast<char>(lead), static_cast<char>(trail)});
    }
  }
}

}  // namespace

int main() {
  for (const unsigned number : {874u, 932u, 936u, 949u, 950u, 1250u, 1251u, 1252u, 1253u, 1254u,
                                1255u, 1256u, 1257u, 1258u}) {
    PrintAll(sigilflip::CodePage::Get(number), std::to_string(number).c_str());
  }
  PrintAll(sigilflip::CodePage::Get(1254, sigilflip::Casing::kTurkic), "1254-tr");
  return 0;
}
