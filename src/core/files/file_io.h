#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "bytes/byte_stream.h"
#include "files/native_file.h"

namespace sigilflip {

// A path as UTF-8 text, for messages.
std::string DisplayPath(const std::filesystem::path& path);

// A regular file opened for reading; a folder, pipe or device is refused at once, a file that
// another program holds for a moment is waited for. Failures throw RunError with the path and the
// system's reason.
class InputFile final : public ByteSource {
 public:
  // `path`, or the one file of its folder whose name matches it ignoring case (Linux).
  explicit InputFile(const std::filesystem::path& path);
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  std::size_t Read(char* buffer, std::size_t size) override;
  void Rewind() override;

  const std::filesystem::path& path() const { return path_; }
  native::File file() const { return file_.get(); }

 private:
  std::filesystem::path path_;
  native::FileHandle file_;
};

// Writes a file by way of a new temporary file in the same folder, so that the file is replaced
// only once it is complete, and keeps the permissions (Windows: the hidden and system attributes)
// of the file it replaces. A read-only file or a folder is refused before anything is written. The
// temporary file is the run's alone and never outlives it: without Commit, or if the program ends
// first, it is gone and the file untouched; leftovers of runs ended abruptly where the system
// cannot see to that are removed by the next. A file that another program holds for a moment is
// waited for. Failures throw RunError with the path and the reason.
//
// A `path` that is a link is followed: the file it leads to is replaced, and the link stays. When
// that file is `source` itself, nothing is written.
class ReplacementFile final : public ByteSink {
 public:
  // `path`, or the one file of its folder whose name matches it ignoring case (Linux).
  explicit ReplacementFile(
      const std::filesystem::path& path, const InputFile* source = nullptr,
      native::TemporaryKind kind = native::TemporaryKind::kUnnamedWherePossible);
  ~ReplacementFile() override;
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;

  void Write(std::string_view bytes) override;
  // Flushes the temporary file to the disk and puts it in the file's place.
  void Commit();

 private:
  std::filesystem::path path_;
  std::filesystem::path target_;  // where path_ leads
  native::Temporary temporary_;
  std::uint64_t written_ = 0;
  std::uint64_t writtenBack_ = 0;  // writeback has been started for the bytes before this
};

}  // namespace sigilflip
