#include "file_io.h"

#include <cerrno>
#include <random>
#include <system_error>

#include "rune_file.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace sigilflip {
namespace {

// The platform's calls, kept together.
std::FILE* OpenFile(const std::filesystem::path& path, const char* mode) {
#ifdef _WIN32
  const std::wstring wideMode(mode, mode + std::char_traits<char>::length(mode));
  return _wfopen(path.c_str(), wideMode.c_str());
#else
  return std::fopen(path.c_str(), mode);
#endif
}

bool SyncToDisk(std::FILE* file) {
#ifdef _WIN32
  return _commit(_fileno(file)) == 0;
#else
  return fsync(fileno(file)) == 0;
#endif
}

std::string Reason(int error) {
  return std::generic_category().message(error);
}

[[noreturn]] void Fail(const char* what, const std::filesystem::path& path, int error) {
  throw RunError("Cannot " + std::string(what) + " " + DisplayPath(path) + ":\n" + Reason(error) +
                 ".");
}

}  // namespace

std::string DisplayPath(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return {text.begin(), text.end()};
}

InputFile::InputFile(std::filesystem::path path)
    : path_(std::move(path)), file_(OpenFile(path_, "rb")) {
  if (file_ == nullptr) {
    Fail("read", path_, errno);
  }
}

InputFile::~InputFile() {
  std::fclose(file_);
}

std::size_t InputFile::Read(char* buffer, std::size_t size) {
  const std::size_t count = std::fread(buffer, 1, size, file_);
  if (count < size && std::ferror(file_)) {
    Fail("read", path_, errno);
  }
  return count;
}

void InputFile::Rewind() {
  if (std::fseek(file_, 0, SEEK_SET) != 0) {
    Fail("read", path_, errno);
  }
}

ReplacementFile::ReplacementFile(std::filesystem::path path) : path_(std::move(path)) {
  std::random_device entropy;
  std::mt19937 names(entropy());
  for (int attempt = 0; attempt < 100 && file_ == nullptr; ++attempt) {
    temporary_ = path_;
    temporary_ += ".~" + std::to_string(names() % 1000000) + ".tmp";
    // "x": create the file, never open one that exists.
    file_ = OpenFile(temporary_, "wbx");
    if (file_ == nullptr && errno != EEXIST) {
      Fail("write", path_, errno);
    }
  }
  if (file_ == nullptr) {
    Fail("write", path_, EEXIST);
  }
}

ReplacementFile::~ReplacementFile() {
  if (file_ != nullptr) {
    std::fclose(file_);
    std::error_code ignored;
    std::filesystem::remove(temporary_, ignored);
  }
}

void ReplacementFile::Write(std::string_view bytes) {
  if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) {
    Fail("write", path_, errno);
  }
}

void ReplacementFile::Commit() {
  if (std::fflush(file_) != 0 || !SyncToDisk(file_)) {
    Fail("write", path_, errno);
  }
  const int closed = std::fclose(file_);
  const int closeError = errno;
  file_ = nullptr;
  std::error_code error;
  if (closed != 0) {
    error.assign(closeError, std::generic_category());
  } else {
    std::filesystem::rename(temporary_, path_, error);
  }
  if (error) {
    std::error_code ignored;
    std::filesystem::remove(temporary_, ignored);
    throw RunError("Cannot write " + DisplayPath(path_) + ":\n" + error.message() + ".");
  }
}

}  // namespace sigilflip
