#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

// The key that starts a rune line, in one place: "RUNE" in any letter case, a key number from 1
// to kKeys, then "="; and the key that the output writes. The scans and their vector masks, both
// passes, the record of the first and the tests all take it from here.
namespace sigilflip::rune_key {

inline constexpr std::string_view kLetters = "rune";  // in lower case; any case matches
inline constexpr char kFirstDigit = '1';
inline constexpr int kKeys = 5;  // the key numbers, 1 to kKeys
inline constexpr std::size_t kDigitAt = kLetters.size();
inline constexpr std::size_t kEqualsAt = kDigitAt + 1;
inline constexpr std::size_t kLength = kEqualsAt + 1;
static_assert(kLength == 6 && kFirstDigit + kKeys - 1 <= '9');

// The bits that hold a key number, 0 for none.
inline constexpr int kBits = std::bit_width(static_cast<unsigned>(kKeys));

// The output key of each number ("Rune1=" ...), each padded to eight bytes so that it is stored as
// one word; index 0 is empty.
inline constexpr std::array<std::array<char, 8>, kKeys + 1> kOutput = [] {
  std::array<std::array<char, 8>, kKeys + 1> keys{};
  for (std::size_t key = 1; key <= kKeys; ++key) {
    keys[key][0] = static_cast<char>(kLetters[0] - 'a' + 'A');
    for (std::size_t i = 1; i < kDigitAt; ++i) {
      keys[key][i] = kLetters[i];
    }
    keys[key][kDigitAt] = static_cast<char>(kFirstDigit + static_cast<int>(key) - 1);
    keys[key][kEqualsAt] = '=';
  }
  return keys;
}();

// Whether the letters at `at` are the key's in any letter case. They are tested at once: setting
// bit 0x20 makes each of R, U, N and E lower case and leaves only the two spellings of each letter
// equal to it (no other byte of Windows-1252 upper-cases to an ASCII letter).
inline bool HasLetters(const char* at) {
  static_assert(kLetters.size() == 4);
  std::uint32_t letters;
  std::uint32_t key;
  std::memcpy(&letters, at, 4);
  std::memcpy(&key, kLetters.data(), 4);
  return (letters | 0x20202020u) == key;
}

// The key number that a key's digit gives: 1 to kKeys for a key's, another for any other byte.
inline unsigned NumberOf(char digit) {
  return static_cast<unsigned>(static_cast<unsigned char>(digit) - kFirstDigit) + 1;
}

// The key number when the line starts with a key in any letter case, else 0.
inline int Number(std::string_view line) {
  if (line.size() < kLength || line[kEqualsAt] != '=') {
    return 0;
  }
  const unsigned number = NumberOf(line[kDigitAt]);
  return HasLetters(line.data()) && number - 1 < kKeys ? static_cast<int>(number) : 0;
}

}  // namespace sigilflip::rune_key
