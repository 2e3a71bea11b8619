#include "windows1252.h"

#include <array>

namespace sigilflip {
namespace {

constexpr std::array<unsigned char, 256> MakeUpperTable() {
  std::array<unsigned char, 256> table{};
  for (int i = 0; i < 256; ++i) {
    table[static_cast<std::size_t>(i)] = static_cast<unsigned char>(i);
  }
  for (int i = 'a'; i <= 'z'; ++i) {
    table[static_cast<std::size_t>(i)] = static_cast<unsigned char>(i - 0x20);
  }
  // à..þ to À..Þ, except ÷ (0xF7), which has no case.
  for (int i = 0xE0; i <= 0xFE; ++i) {
    if (i != 0xF7) {
      table[static_cast<std::size_t>(i)] = static_cast<unsigned char>(i - 0x20);
    }
  }
  table[0x9A] = 0x8A;  // š Š
  table[0x9C] = 0x8C;  // œ Œ
  table[0x9E] = 0x8E;  // ž Ž
  table[0xFF] = 0x9F;  // ÿ Ÿ
  return table;
}

// 0x80..0x9F; the rest of the code page is Latin-1.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  //
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  //
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  //
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

}  // namespace

const std::array<unsigned char, 256> kUpperCase1252 = MakeUpperTable();

char32_t CodePoint1252(char c) {
  const auto byte = static_cast<unsigned char>(c);
  if (byte >= 0x80 && byte <= 0x9F) {
    return kHighControls[byte - 0x80u];
  }
  return byte;
}

std::string Utf8From1252(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    const char32_t cp = CodePoint1252(c);
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return out;
}

}  // namespace sigilflip
