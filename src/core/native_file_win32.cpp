#include <windows.h>

#include <algorithm>
#include <limits>
#include <vector>

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

bool IsInUse(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

[[noreturn]] void ThrowError(DWORD error) {
  if (IsInUse(error)) {
    throw SystemError(kInUseReason, SystemError::Kind::kInUse);
  }
  throw SystemError(SystemMessage(error),
                    error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS
                        ? SystemError::Kind::kNameTaken
                        : SystemError::Kind::kOther);
}

[[noreturn]] void ThrowLastError() {
  ThrowError(GetLastError());
}

// Windows says "Access is denied" both of a file it refuses and of one that another program
// holds open without sharing delete access; asking for that access alone tells the two apart.
[[noreturn]] void ThrowReplaceError(DWORD error, const std::wstring& target) {
  if (error == ERROR_ACCESS_DENIED) {
    const FileHandle probe(FromHandle(
        CreateFileW(target.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr)));
    if (probe.get() == kNoFile && IsInUse(GetLastError())) {
      ThrowError(ERROR_SHARING_VIOLATION);
    }
  }
  ThrowError(error);
}

// Marks an open file for deletion when it is closed, or takes the mark back.
bool MarkForDeletion(HANDLE handle, bool deletion) {
  FILE_DISPOSITION_INFO disposition{};
  disposition.DeleteFile = deletion ? TRUE : FALSE;
  return SetFileInformationByHandle(handle, FileDispositionInfo, &disposition,
                                    sizeof(disposition)) != FALSE;
}

// The attributes that a replaced file passes on; the read-only one refuses the replace instead.
// The archive attribute is set whatever the old file had: the content has changed, and backup
// programs go by it.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

}  // namespace

File OpenForReading(const std::filesystem::path& path) {
  const std::wstring name = LongPath(path);
  // A folder cannot be opened as a file at all; say so instead of "Access is denied".
  const DWORD attributes = GetFileAttributesW(name.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    throw SystemError(kFolderReason);
  }
  FileHandle file(FromHandle(CreateFileW(
      name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr)));
  if (file.get() == kNoFile) {
    ThrowLastError();
  }
  if (GetFileType(Handle(file.get())) != FILE_TYPE_DISK) {
    throw SystemError(kNotAFileReason);
  }
  return file.release();
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
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    return std::nullopt;  // not there, or the rename says what is wrong with it
  }
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    throw SystemError(kFolderReason);
  }
  if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    throw SystemError(kReadOnlyReason);
  }
  return Permissions{attributes & kKeptAttributes};
}

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

Temporary CreateTemporary(const std::filesystem::path& target, TemporaryKind) {
  // Shared with nobody, so that no scanner or sync client can hold it when it is renamed; and
  // marked for deletion at once, so that a program ended meanwhile leaves nothing behind.
  // (FILE_FLAG_DELETE_ON_CLOSE would do the latter too, but could not be taken back before the
  // rename.)
  Temporary temporary;
  temporary.name = UnderFreeName(target, [&](const std::filesystem::path& name) {
    const HANDLE handle = CreateFileW(LongPath(name).c_str(), GENERIC_WRITE | DELETE, 0, nullptr,
                                      CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      ThrowLastError();
    }
    if (!MarkForDeletion(handle, true)) {
      const DWORD error = GetLastError();
      CloseHandle(handle);
      DeleteFileW(LongPath(name).c_str());
      ThrowError(error);
    }
    temporary.file = FromHandle(handle);
  });
  return temporary;
}

void SetPermissions(const Temporary& temporary, Permissions permissions) {
  // The hidden and system attributes would be lost with the replaced file.
  FILE_BASIC_INFO basic{};  // times of 0 stay as they are
  basic.FileAttributes = permissions.bits | FILE_ATTRIBUTE_ARCHIVE;
  if (!SetFileInformationByHandle(Handle(temporary.file), FileBasicInfo, &basic, sizeof(basic))) {
    ThrowLastError();
  }
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

void Replace(Temporary& temporary, const std::filesystem::path& target) {
  const HANDLE handle = Handle(temporary.file);
  const std::wstring name = LongPath(target);
  // Renamed through its own handle, which nobody else can hold.
  std::vector<char> buffer(sizeof(FILE_RENAME_INFO) + name.size() * sizeof(wchar_t));
  auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  rename->ReplaceIfExists = TRUE;
  rename->RootDirectory = nullptr;
  rename->FileNameLength = static_cast<DWORD>(name.size() * sizeof(wchar_t));
  std::copy(name.begin(), name.end(), rename->FileName);
  if (!MarkForDeletion(handle, false)) {
    ThrowLastError();
  }
  if (!SetFileInformationByHandle(handle, FileRenameInfo, rename,
                                  static_cast<DWORD>(buffer.size()))) {
    const DWORD error = GetLastError();
    MarkForDeletion(handle, true);
    ThrowReplaceError(error, name);
  }
  temporary.name.clear();
  CloseHandle(handle);
  temporary.file = kNoFile;
}

void Discard(Temporary& temporary) noexcept {
  if (temporary.file != kNoFile) {
    MarkForDeletion(Handle(temporary.file), true);
    CloseHandle(Handle(temporary.file));
    temporary.file = kNoFile;
  }
  temporary.name.clear();
}

void RemoveLeftovers(const std::filesystem::path& target) noexcept {
  // A temporary file of a run still going on is open without sharing, so it cannot be deleted.
  try {
    const std::filesystem::path folder = target.parent_path();
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW(
        LongPath(folder / (target.filename().native() + L".~*.tmp")).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
      return;
    }
    do {
      if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
          IsTemporaryName(target, Utf8FromWide(found.cFileName))) {
        DeleteFileW(LongPath(folder / found.cFileName).c_str());
      }
    } while (FindNextFileW(search, &found));
    FindClose(search);
  } catch (...) {
    // Out of memory for a name: the leftovers wait for a later run.
  }
}

}  // namespace sigilflip::native
