// The Windows file layer: opening, reading and writing. Links, permissions and temporary files
// have files of their own beside it.
#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <limits>
#include <vector>

#include "files/native_file.h"
#include "files/win32_calls.h"

namespace sigilflip::native {

File OpenForReading(const std::filesystem::path& path) {
  const std::wstring name = LongPath(path);
  // A folder cannot be opened as a file at all; say so instead of "Access is denied".
  if (IsFolder(name)) {
    throw SystemError(Reason::kFolder, {});
  }
  FileHandle file(FromHandle(CreateFileW(
      name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr)));
  if (file.get() == kNoFile) {
    ThrowFailure({.error = GetLastError(), .call = FileCall::kOpen});
  }
  if (GetFileType(Handle(file.get())) != FILE_TYPE_DISK) {
    throw SystemError(Reason::kNotAFile, {});
  }
  return file.release();
}

std::filesystem::path MatchingName(const std::filesystem::path& path) {
  return path;
}

std::filesystem::path FullPath(const std::filesystem::path& path) {
  return FullPathName(path.native());
}

PathKind KindOf(const std::filesystem::path& path) {
  // Settled with a separator at its end, which Windows then takes off again: it trims the spaces
  // and dots that end a path's last name, and a folder's own name may end in them.
  std::wstring name = LongPath(path / L"");
  if (path.has_relative_path() && name.ends_with(L'\\')) {
    name.pop_back();
  }
  const DWORD attributes = GetFileAttributesW(name.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    return PathKind::kMissing;
  }
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? PathKind::kFolder : PathKind::kOther;
}

std::size_t Read(File file, char* buffer, std::size_t size) {
  const auto chunk = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
  DWORD count = 0;
  if (!ReadFile(Handle(file), buffer, chunk, &count, nullptr)) {
    ThrowLastError();
  }
  return count;
}

void Rewind(File file) {
  LARGE_INTEGER start{};
  if (!SetFilePointerEx(Handle(file), start, nullptr, FILE_BEGIN)) {
    ThrowLastError();
  }
}

void Close(File file) noexcept {
  CloseHandle(Handle(file));
}

void WriteAll(File file, std::string_view bytes) {
  while (!bytes.empty()) {
    const auto chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
    DWORD count = 0;
    if (!WriteFile(Handle(file), bytes.data(), chunk, &count, nullptr)) {
      ThrowLastError();
    }
    bytes.remove_prefix(count);
  }
}

void StartWriteback(File, std::uint64_t, std::uint64_t) noexcept {}

void Sync(File file) {
  if (!FlushFileBuffers(Handle(file))) {
    ThrowLastError();
  }
}

}  // namespace sigilflip::native
