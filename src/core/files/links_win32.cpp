// Where magic-new.ini leads through links, as Windows follows them.
#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <limits>
#include <vector>

#include "files/native_file.h"
#include "files/win32_calls.h"

namespace sigilflip::native {
namespace {

// Opens `name` for its attributes alone, which another program's sharing does not refuse; links
// are followed.
FileHandle OpenForAttributes(const std::wstring& name) {
  return FileHandle(FromHandle(
      CreateFileW(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr)));
}

bool IsNotThere(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

}  // namespace

std::filesystem::path FinalTarget(const std::filesystem::path& path) {
  const std::wstring name = LongPath(path);
  const DWORD attributes = GetFileAttributesW(name.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    return path;  // no link, or nothing there yet
  }
  const FileHandle file = OpenForAttributes(name);
  if (file.get() == kNoFile) {
    const DWORD error = GetLastError();
    if (IsNotThere(error)) {
      return path;  // a link to nothing: the rename replaces the link
    }
    ThrowError(error);
  }
  std::wstring target(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetFinalPathNameByHandleW(
        Handle(file.get()), target.data(), static_cast<DWORD>(target.size()), FILE_NAME_NORMALIZED);
    if (length == 0) {
      ThrowLastError();
    }
    if (length < target.size()) {
      target.resize(length);
      return target;
    }
    target.resize(length);  // the size it needs, with its terminator
  }
}

bool IsSameFile(File file, const std::filesystem::path& path) {
  BY_HANDLE_FILE_INFORMATION opened;
  BY_HANDLE_FILE_INFORMATION named;
  if (!GetFileInformationByHandle(Handle(file), &opened)) {
    ThrowLastError();
  }
  const FileHandle other = OpenForAttributes(LongPath(path));
  if (other.get() == kNoFile) {
    const DWORD error = GetLastError();
    if (IsNotThere(error)) {
      return false;
    }
    ThrowError(error);
  }
  if (!GetFileInformationByHandle(Handle(other.get()), &named)) {
    ThrowLastError();
  }
  return opened.dwVolumeSerialNumber == named.dwVolumeSerialNumber &&
         opened.nFileIndexHigh == named.nFileIndexHigh &&
         opened.nFileIndexLow == named.nFileIndexLow;
}

}  // namespace sigilflip::native
