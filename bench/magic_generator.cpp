#include "magic_generator.h"

#include <array>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace sigilflip::bench {
namespace {

using Syllables = std::array<const char*, 12>;
constexpr Syllables kSyllables = {"fir", "ka",  "thor",   "ul",  "gen", "is",
                                  "ans", "ber", "\xE6th", "wyn", "sol", "dag"};
// In Windows-1251, Shift JIS (932: trail bytes that look like X and a backslash among them) and
// UTF-8 (letters of several scripts, an invalid byte among them).
constexpr Syllables kCyrillic = {"\xEE\xE3",     "\xED\xFF",     "\xE2\xE5",     "\xF2\xE5\xF0",
                                 "\xE7\xE5\xEC", "\xEB\xFF",     "\xF1\xEE\xEB", "\xED\xF6\xE5",
                                 "\xEB\xB8\xE4", "\xC8\xD1\xCA", "\xE2\xEE\xEB", "\xED\xE0"};
constexpr Syllables kJapanese = {"\x89\xCE", "\x8B\x85", "\x90\x85", "\x95\x97",
                                 "\x97\x8B", "\x8C\xF5", "\x88\xC5", "\x95X",
                                 "\x83\x5C", "\x8C\x95", "\x97\xB3", "\x89\xA4"};
constexpr Syllables kUtf8 = {"\xD0\xB4\xD0\xBE\xD0\xBC",
                             "\xCE\xA6\xCE\xA9\xCE\xA3",
                             "\xE7\x81\xAB",
                             "stra\xC3\x9F"
                             "e",
                             "il\xC4\xB1k",
                             "\xD0\x96\xD0\x90\xD0\xA0",
                             "\xD1\x91\xD0\xB6",
                             "\xCE\xBD\xCE\xB1\xCF\x8C\xCF\x82",
                             "\xE6\xB0\xB7",
                             "\xEA\x99\xAE",
                             "\xC7\x85",
                             "\xFF"};

const Syllables& SyllablesOf(unsigned codePage) {
  switch (codePage) {
    case 1251:
      return kCyrillic;
    case 932:
      return kJapanese;
    case 65001:
      return kUtf8;
    default:
      return kSyllables;
  }
}
constexpr std::array<const char*, 5> kRuneKeys = {"Rune1=", "RUNE2=", "rune3=", "Rune4=", "RuNe5="};
constexpr std::array<const char*, 6> kOtherKeys = {
    "Mana=", "Cooldown=", "Icon=", "Description=", "School=", "Range="};

std::string Capitalised(std::string name) {
  if (!name.empty() && name[0] >= 'a' && name[0] <= 'z') {
    name[0] = static_cast<char>(name[0] - 'a' + 'A');
  }
  return name;
}

std::string Upper(std::string name) {
  for (char& c : name) {
    if (c >= 'a' && c <= 'z') {
      c = static_cast<char>(c - 'a' + 'A');
    }
  }
  return name;
}

}  // namespace

void GenerateMagicIni(const std::filesystem::path& path, std::size_t bytes, int runeCount,
                      std::uint32_t seed, unsigned codePage, bool longNames) {
  const Syllables& syllables = SyllablesOf(codePage);
  const std::size_t leastParts = longNames ? 17 : 2;
  std::mt19937 engine(seed);
  auto below = [&engine](std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(engine);
  };

  std::vector<std::string> names;
  for (int i = 0; i < runeCount; ++i) {
    std::string name;
    for (std::size_t parts = leastParts + below(2); parts > 0; --parts) {
      name += syllables[below(syllables.size())];
    }
    names.push_back(Capitalised(name) + std::to_string(i));
  }

  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  std::string block;
  std::size_t written = 0;
  int spell = 0;
  // Every rune appears at least once, so the file names exactly runeCount runes.
  std::size_t nextUnseen = 0;
  while (written < bytes) {
    block.clear();
    block += "[Spell." + std::to_string(++spell) + "]\r\n";
    if (below(4) == 0) {
      block += "; " + names[below(names.size())] + " circle, revised\r\n";
    }
    for (std::size_t line = 0; line < 10; ++line) {
      if (below(10) < 4) {
        std::string name =
            nextUnseen < names.size() ? names[nextUnseen++] : names[below(names.size())];
        switch (below(12)) {
          case 0:
            name = "  " + name;
            break;
          case 1:
            name += " ";
            break;
          case 2:
            name = Upper(name);
            break;
          default:
            break;
        }
        block += kRuneKeys[below(kRuneKeys.size())] + name + "\r\n";
      } else {
        block += kOtherKeys[below(kOtherKeys.size())] + std::to_string(below(1000));
        block += below(50) == 0 ? "\nstill the same line\r\n" : "\r\n";
      }
    }
    block += "\r\n";
    out.write(block.data(), static_cast<std::streamsize>(block.size()));
    written += block.size();
  }
}

}  // namespace sigilflip::bench
