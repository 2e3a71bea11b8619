// What a replaced file passes on to its replacement: its hidden and system attributes.
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

// The attributes that a replaced file passes on; the read-only one refuses the replace instead.
// The archive attribute is set whatever the old file had: the content has changed, and backup
// programs go by it.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

}  // namespace

std::optional<Permissions> CheckReplaceable(const std::filesystem::path& path) {
  const DWORD attributes = GetFileAttributesW(LongPath(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    return std::nullopt;  // not there, or the rename says what is wrong with it
  }
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    throw SystemError(Reason::kFolder, {});
  }
  if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    throw SystemError(Reason::kReadOnly, {});
  }
  // Marked as changed since the last backup, as any file just written.
  Permissions permissions;
  permissions.bits = (attributes & kKeptAttributes) | FILE_ATTRIBUTE_ARCHIVE;
  return permissions;
}

void SetPermissions(const Temporary& temporary, const Permissions& permissions) {
  // The hidden and system attributes would be lost with the replaced file.
  FILE_BASIC_INFO basic{};  // times of 0 stay as they are
  basic.FileAttributes = permissions.bits;
  if (!SetFileInformationByHandle(Handle(temporary.file), FileBasicInfo, &basic, sizeof(basic))) {
    ThrowLastError();
  }
}

}  // namespace sigilflip::native
