#include "files/file_io.h"

#include <utility>

#include "facts/run_failure.h"

namespace sigilflip {
namespace {

// Runs a file call, turning its failure into the facts of a run that failed on that file.
template <typename Call>
auto Attempt(FileAccess access, const std::filesystem::path& path, Call&& call) {
  try {
    return call();
  } catch (const native::SystemError& error) {
    throw RunError(RunFailure::FileCall(path, access, error.reason(), error.words(),
                                        error.kind() == native::SystemError::Kind::kNotFound));
  }
}

}  // namespace

std::string DisplayPath(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return {text.begin(), text.end()};
}

InputFile::InputFile(const std::filesystem::path& path)
    : path_(Attempt(FileAccess::kRead, path, [&] { return native::MatchingName(path); })),
      file_(Attempt(FileAccess::kRead, path_, [&] {
        return native::RetryWhileInUse([&] { return native::OpenForReading(path_); });
      })) {}

std::size_t InputFile::Read(char* buffer, std::size_t size) {
  return Attempt(FileAccess::kRead, path_, [&] { return native::Read(file_.get(), buffer, size); });
}

void InputFile::Rewind() {
  Attempt(FileAccess::kRead, path_, [&] { native::Rewind(file_.get()); });
}

ReplacementFile::ReplacementFile(const std::filesystem::path& path, const InputFile* source,
                                 native::TemporaryKind kind)
    : path_(Attempt(FileAccess::kWrite, path, [&] { return native::MatchingName(path); })) {
  Attempt(FileAccess::kWrite, path_, [&] {
    target_ = native::FinalTarget(path_);
    if (source != nullptr && native::IsSameFile(source->file(), target_)) {
      throw RunError(RunFailure::OutputLeadsToInput(path_, source->path()));
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
  Attempt(FileAccess::kWrite, path_, [&] { native::WriteAll(temporary_.file, bytes); });
  written_ += bytes.size();
  // The disk starts on a large file while the rest is still being written.
  constexpr std::uint64_t kWritebackStep = 2 * 1024 * 1024;
  if (written_ - writtenBack_ >= kWritebackStep) {
    native::StartWriteback(temporary_.file, writtenBack_, written_ - writtenBack_);
    writtenBack_ = written_;
  }
}

void ReplacementFile::Commit() {
  Attempt(FileAccess::kWrite, path_, [&] {
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
