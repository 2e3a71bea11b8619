#include "files/native_file.h"

#include <chrono>
#include <random>
#include <thread>

namespace sigilflip::native {
namespace {

constexpr std::string_view kTemporaryMark = ".~";
constexpr std::string_view kTemporaryEnd = ".tmp";
constexpr std::size_t kTemporaryDigits = 6;

}  // namespace

FileHandle::~FileHandle() {
  if (file_ != kNoFile) {
    Close(file_);
  }
}

void Pause(int milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

std::filesystem::path TemporaryName(const std::filesystem::path& target) {
  static thread_local std::mt19937 numbers{std::random_device{}()};
  std::filesystem::path name = target;
  name += std::string(kTemporaryMark) + std::to_string(numbers() % 1000000) +
          std::string(kTemporaryEnd);
  return name;
}

bool IsTemporaryName(const std::filesystem::path& target, std::string_view name) {
  const std::u8string own = target.filename().u8string();
  const std::string_view prefix(reinterpret_cast<const char*>(own.data()), own.size());
  if (!name.starts_with(prefix)) {
    return false;
  }
  name.remove_prefix(prefix.size());
  if (!name.starts_with(kTemporaryMark) || !name.ends_with(kTemporaryEnd)) {
    return false;
  }
  name.remove_prefix(kTemporaryMark.size());
  name.remove_suffix(kTemporaryEnd.size());
  return !name.empty() && name.size() <= kTemporaryDigits &&
         name.find_first_not_of("0123456789") == std::string_view::npos;
}

std::filesystem::path UnderFreeName(
    const std::filesystem::path& target,
    const std::function<void(const std::filesystem::path&)>& create) {
  for (int attempt = 1;; ++attempt) {
    std::filesystem::path name = TemporaryName(target);
    try {
      create(name);
      return name;
    } catch (const SystemError& error) {
      if (error.kind() != SystemError::Kind::kNameTaken || attempt == 100) {
        throw;
      }
    }
  }
}

}  // namespace sigilflip::native
