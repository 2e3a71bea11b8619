#include "file_io.h"

#include <utility>

#include "run_error.h"
#include "user_texts.h"

namespace sigilflip {
namespace {

// Runs a file call, turning its failure into a message that names the file.
template <typename Call>
auto Attempt(const char* what, const std::filesystem::path& path, Call&& call) {
  try {
    return call();
  } catch (const native::SystemError& error) {
    throw RunError(texts::CannotAccess(what, DisplayPath(path), error.what()));
  }
}

}  // namespace

std::string DisplayPath(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return {text.begin(), text.end()};
}

InputFile::InputFile(const std::filesystem::path& path)
    : path_(Attempt("read", path, [&] { return native::MatchingName(path); })),
      file_(Attempt("read", path_, [&] {
        return native::RetryWhileInUse([&] { return native::OpenForReading(path_); });
      })) {}

std::size_t InputFile::Read(char* buffer, std::size_t size) {
  return Attempt("read", path_, [&] { return native::Read(file_.get(), buffer, size); });
}

void InputFile::Rewind() {
  Attempt("read", path_, [&] { native::Rewind(file_.get()); });
}

ReplacementFile::ReplacementFile(const std::filesystem::path& path, const InputFile* source,
                                 native::TemporaryKind kind)
    : path_(Attempt("write", path, [&] { return native::MatchingName(path); })) {
  Attempt("write", path_, [&] {
    target_ = native::FinalTarget(path_);
    if (source != nullptr && native::IsSameFile(source->file(), target_)) {
      throw RunError(texts::OutputLeadsToInput(DisplayPath(path_), DisplayPath(source->path())));
    }
    const std::optional<native::Permissions> permissions = native::CheckReplaceable(target_);
    native::RemoveLeftovers(target_);
    temporary_ = native::RetryWhileInUse([&] { return native::CreateTemporary(target_, kind); });
    if (permissions) {
      try {
        native::SetPermissions(temporary_, *permissions);
      } catch (...) {
        native::Discard(temporary_);
        throw;
      }
    }
  });
}

ReplacementFile::~ReplacementFile() {
  native::Discard(temporary_);
}

void ReplacementFile::Write(std::string_view bytes) {
  Attempt("write", path_, [&] { native::WriteAll(temporary_.file, bytes); });
  written_ += bytes.size();
  // The disk starts on a large file while the rest is still being written.
  constexpr std::uint64_t kWritebackStep = 2 * 1024 * 1024;
  if (written_ - writtenBack_ >= kWritebackStep) {
    native::StartWriteback(temporary_.file, writtenBack_, written_ - writtenBack_);
    writtenBack_ = written_;
  }
}

void ReplacementFile::Commit() {
  Attempt("write", path_, [&] {
    try {
      native::Sync(temporary_.file);
      native::RetryWhileInUse([&] { native::Replace(temporary_, target_); });
    } catch (...) {
      native::Discard(temporary_);
      throw;
    }
  });
}

}  // namespace sigilflip
