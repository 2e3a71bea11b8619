#pragma once

#include <cstdio>
#include <filesystem>
#include <string>

#include "byte_stream.h"

namespace sigilflip {

// A path as UTF-8 text, for messages.
std::string DisplayPath(const std::filesystem::path& path);

// A file opened for reading. Failures throw RunError with the path and the system's reason.
class InputFile final : public ByteSource {
 public:
  explicit InputFile(std::filesystem::path path);
  ~InputFile() override;
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  std::size_t Read(char* buffer, std::size_t size) override;
  void Rewind() override;

 private:
  std::filesystem::path path_;
  std::FILE* file_;
};

// Writes a file by way of a temporary file in the same folder, so that the file is replaced only
// once it is complete. Without Commit, the temporary file is removed and the file is untouched.
// Failures throw RunError with the path and the system's reason.
class ReplacementFile final : public ByteSink {
 public:
  explicit ReplacementFile(std::filesystem::path path);
  ~ReplacementFile() override;
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;

  void Write(std::string_view bytes) override;
  // Flushes the temporary file to the disk and renames it over the file.
  void Commit();

 private:
  std::filesystem::path path_;
  std::filesystem::path temporary_;
  std::FILE* file_ = nullptr;
};

}  // namespace sigilflip
