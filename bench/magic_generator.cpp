#include "magic_generator.h"

#include <array>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace sigilflip::bench {
namespace {

constexpr std::array<const char*, 12> kSyllables = {"fir", "ka",  "thor",   "ul",  "gen", "is",
                                                    "ans", "ber", "\xE6th", "wyn", "sol", "dag"};
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
                      std::uint32_t seed) {
  std::mt19937 engine(seed);
  auto below = [&engine](std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(engine);
  };

  std::vector<std::string> names;
  for (int i = 0; i < runeCount; ++i) {
    std::string name;
    for (std::size_t parts = 2 + below(2); parts > 0; --parts) {
      name += kSyllables[below(kSyllables.size())];
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
