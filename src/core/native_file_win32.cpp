#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <algorithm>
#include <limits>

#include "native_file.h"
#include "windows_text.h"

namespace sigilflip::native {
namespace {

HANDLE Handle(File file) {
  return reinterpret_cast<HANDLE>(file);
}

File FromHandle(HANDLE handle) {
  return reinterpret_cast<File>(handle);
}

[[noreturn]] void ThrowError(DWORD error) {
  throw SystemError(SystemMessage(error),
                    error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS);
}

[[noreturn]] void ThrowLastError() {
  ThrowError(GetLastError());
}

}  // namespace

File OpenForReading(const std::filesystem::path& path) {
  const std::wstring name = LongPath(path);
  // A folder cannot be opened as a file at all; say so instead of "Access is denied".
  const DWORD attributes = GetFileAttributesW(name.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    throw SystemError(kFolderReason);
  }
  const HANDLE handle = CreateFileW(name.c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    ThrowLastError();
  }
  if (GetFileType(handle) != FILE_TYPE_DISK) {
    CloseHandle(handle);
    throw SystemError(kNotAFileReason);
  }
  return FromHandle(handle);
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

std::optional<Permissions> CheckReplaceable(const std::filesystem::path& path) {
  const DWORD attributes = GetFileAttributesW(LongPath(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return std::nullopt;  // not there, or the rename says what is wrong with it
  }
  if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    throw SystemError(kReadOnlyReason);
  }
  return Permissions{0};
}

File CreateNew(const std::filesystem::path& path) {
  const HANDLE handle = CreateFileW(LongPath(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    ThrowLastError();
  }
  return FromHandle(handle);
}

void SetPermissions(File, Permissions) {}

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

void SyncAndClose(File file) {
  const BOOL flushed = FlushFileBuffers(Handle(file));
  const DWORD flushError = GetLastError();
  const BOOL closed = CloseHandle(Handle(file));
  const DWORD closeError = GetLastError();
  if (!flushed) {
    ThrowError(flushError);
  }
  if (!closed) {
    ThrowError(closeError);
  }
}

void Replace(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (!MoveFileExW(LongPath(from).c_str(), LongPath(to).c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    ThrowLastError();
  }
}

void Remove(const std::filesystem::path& path) noexcept {
  DeleteFileW(LongPath(path).c_str());
}

}  // namespace sigilflip::native
