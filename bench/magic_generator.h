#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>

namespace sigilflip::bench {

// Writes a realistic magic.ini of about `bytes` bytes: sections, ';' comments and other keys, about
// 40% rune lines with keys in mixed case and values drawn from `runeCount` distinct names (now and
// then with surrounding spaces or in another case), CR LF line ends and a few lone line feeds
// inside lines. Names are made of syllables in the code page `codePage` (1252, 1251, 932 or
// UTF-8, 65001), of over 32 bytes where `longNames`. The same arguments give the same file.
void GenerateMagicIni(const std::filesystem::path& path, std::size_t bytes, int runeCount,
                      std::uint32_t seed = 1, unsigned codePage = 1252, bool longNames = false);

}  // namespace sigilflip::bench
