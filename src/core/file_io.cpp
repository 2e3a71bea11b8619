#include "file_io.h"

#include <random>
#include <utility>

#include "rune_file.h"

namespace sigilflip {
namespace {

// Runs a file call, turning its failure into a message that names the file.
template <typename Call>
auto Attempt(const char* what, const std::filesystem::path& path, Call&& call) {
  try {
    return call();
  } catch (const native::SystemError& error) {
    throw RunError("Cannot " + std::string(what) + " " + DisplayPath(path) + ":\n" + error.what() +
                   ".");
  }
}

}  // namespace

std::string DisplayPath(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return {text.begin(), text.end()};
}

InputFile::InputFile(std::filesystem::path path)
    : path_(std::move(path)),
      file_(Attempt("read", path_, [&] { return native::OpenForReading(path_); })) {}

InputFile::~InputFile() {
  native::Close(file_);
}

std::size_t InputFile::Read(char* buffer, std::size_t size) {
  return Attempt("read", path_, [&] { return native::Read(file_, buffer, size); });
}

void InputFile::Rewind() {
  Attempt("read", path_, [&] { native::Rewind(file_); });
}

ReplacementFile::ReplacementFile(std::filesystem::path path) : path_(std::move(path)) {
  Attempt("write", path_, [&] {
    const std::optional<native::Permissions> permissions = native::CheckReplaceable(path_);
    std::random_device entropy;
    std::mt19937 names(entropy());
    for (int attempt = 0; file_ == native::kNoFile; ++attempt) {
      temporary_ = path_;
      temporary_ += ".~" + std::to_string(names() % 1000000) + ".tmp";
      try {
        file_ = native::CreateNew(temporary_);
      } catch (const native::SystemError& error) {
        if (!error.NameTaken() || attempt == 99) {
          throw;
        }
      }
    }
    if (permissions) {
      try {
        native::SetPermissions(file_, *permissions);
      } catch (...) {
        native::Close(file_);
        native::Remove(temporary_);
        file_ = native::kNoFile;
        throw;
      }
    }
  });
}

ReplacementFile::~ReplacementFile() {
  if (file_ != native::kNoFile) {
    native::Close(file_);
    native::Remove(temporary_);
  }
}

void ReplacementFile::Write(std::string_view bytes) {
  Attempt("write", path_, [&] { native::WriteAll(file_, bytes); });
  written_ += bytes.size();
  // The disk starts on a large file while the rest is still being written.
  constexpr std::uint64_t kWritebackStep = 2 * 1024 * 1024;
  if (written_ - writtenBack_ >= kWritebackStep) {
    native::StartWriteback(file_, writtenBack_, written_ - writtenBack_);
    writtenBack_ = written_;
  }
}

void ReplacementFile::Commit() {
  Attempt("write", path_, [&] {
    const native::File file = std::exchange(file_, native::kNoFile);
    try {
      native::SyncAndClose(file);
      native::Replace(temporary_, path_);
    } catch (...) {
      native::Remove(temporary_);
      throw;
    }
  });
}

}  // namespace sigilflip
