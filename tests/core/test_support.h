#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "random_source.h"
#include "recording_view.h"
#include "rune_table.h"

namespace sigilflip::testing {

// Hands out the draws it was given, in order; running out is a test failure.
class ScriptedRandom final : public RandomSource {
 public:
  explicit ScriptedRandom(std::vector<float> draws) : draws_(std::move(draws)) {}
  float Next() override {
    if (drawn_ >= draws_.size()) {
      ADD_FAILURE() << "more draws than scripted";
      return 0.0f;
    }
    return draws_[drawn_++];
  }
  std::size_t Drawn() const { return drawn_; }

 private:
  std::vector<float> draws_;
  std::size_t drawn_ = 0;
};

// A fresh folder, removed with everything in it at the end of the test.
class TempDir {
 public:
  TempDir() {
    std::random_device entropy;
    path_ = std::filesystem::temp_directory_path() /
            ("sigilflip-test-" + std::to_string(entropy()) + std::to_string(entropy()));
    std::filesystem::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const char* name) const { return path_ / name; }

  // The names of the entries in the folder, sorted.
  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path_)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  std::filesystem::path path_;
};

// What the system says of a file that is not there, as the messages quote it.
inline std::string FileNotFoundReason() {
#ifdef _WIN32
  std::string reason = std::system_category().message(2);  // ERROR_FILE_NOT_FOUND
  while (!reason.empty() && std::string_view(".\r\n ").find(reason.back()) != std::string::npos) {
    reason.pop_back();
  }
  return reason;
#else
  return "No such file or directory";
#endif
}

inline std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in.good()) << "cannot open " << path;
  std::string bytes(std::filesystem::file_size(path), '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return bytes;
}

inline void WriteBytes(const std::filesystem::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << "cannot write " << path;
}

// The mapping of a table as "Name => NewName" items, in slot order (Windows-1252 bytes).
inline std::vector<std::string> Mapping(const RuneTable& table) {
  std::vector<std::string> items;
  for (Int16 slot = 1; slot <= table.RuneCount(); ++slot) {
    items.push_back(table.Runes(slot).Name + " => " + table.Runes(slot).NewName);
  }
  return items;
}

}  // namespace sigilflip::testing
