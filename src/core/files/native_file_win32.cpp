#include <windows.h>

#include <shlobj.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <limits>
#include <vector>

#include "files/native_file.h"
#include "files/windows_errors.h"
#include "text/windows_text.h"

namespace sigilflip::native {
namespace {

HANDLE Handle(File file) {
  return reinterpret_cast<HANDLE>(file);
}

File FromHandle(HANDLE handle) {
  return reinterpret_cast<File>(handle);
}

[[noreturn]] void ThrowFailure(const FailedCall& failed) {
  const Verdict verdict = Judge(failed);
  throw SystemError(verdict.reason,
                    verdict.reason == Reason::kSystem ? SystemMessage(failed.error) : std::string(),
                    verdict.kind);
}

[[noreturn]] void ThrowError(DWORD error) {
  ThrowFailure({.error = error});
}

[[noreturn]] void ThrowLastError() {
  ThrowError(GetLastError());
}

bool IsFolder(const std::wstring& name) {
  const DWORD attributes = GetFileAttributesW(name.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IsElevated() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
    return false;
  }
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  const bool known =
      GetTokenInformation(token, TokenElevation, &elevation, sizeof(elevation), &size) != FALSE;
  CloseHandle(token);
  return known && elevation.TokenIsElevated != 0;
}

// Why a new file could not be created in `folder`, in words that say what to do.
[[noreturn]] void ThrowCreateError(DWORD error, const std::wstring& folder) {
  ThrowFailure({.error = error,
                .call = FileCall::kCreate,
                .folderExists = IsFolder(folder),
                .protectedFolder =
                    error == ERROR_ACCESS_DENIED && !IsElevated() && InProtectedFolder(folder)});
}

// Windows refuses to rename over a file that anyone has open or mapped, whatever they share. When
// the file in the way can be opened for deletion (or only another program's sharing refuses it),
// its permissions allow the rename: another program holds it.
[[noreturn]] void ThrowReplaceError(DWORD error, const std::wstring& target) {
  bool held = false;
  if (error == ERROR_ACCESS_DENIED) {
    const FileHandle probe(FromHandle(
        CreateFileW(target.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr)));
    const DWORD probeError = probe.get() == kNoFile ? GetLastError() : ERROR_SUCCESS;
    held = probeError == ERROR_SUCCESS || probeError == ERROR_SHARING_VIOLATION ||
           probeError == ERROR_LOCK_VIOLATION;
  }
  ThrowFailure({.error = error, .call = FileCall::kReplace, .targetHeld = held});
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

bool InProtectedFolder(std::wstring folder) {
  for (const wchar_t* verbatim : {L"\\\\?\\UNC\\", L"\\\\?\\"}) {
    if (folder.starts_with(verbatim)) {
      folder.erase(0, std::wstring_view(verbatim).size());
      break;
    }
  }
  folder += L'\\';
  for (const int known : {CSIDL_PROGRAM_FILES, CSIDL_PROGRAM_FILESX86, CSIDL_WINDOWS}) {
    wchar_t path[MAX_PATH] = {};
    if (SHGetFolderPathW(nullptr, known, nullptr, SHGFP_TYPE_CURRENT, path) != S_OK) {
      continue;
    }
    const std::wstring prefix = std::wstring(path) + L'\\';
    if (folder.size() >= prefix.size() &&
        CompareStringOrdinal(folder.data(), static_cast<int>(prefix.size()), prefix.data(),
                             static_cast<int>(prefix.size()), TRUE) == CSTR_EQUAL) {
      return true;
    }
  }
  return false;
}

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
  const DWORD attributes = GetFileAttributesW(LongPath(path).c_str());
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
      ThrowCreateError(GetLastError(), LongPath(target.parent_path()));
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

void SetPermissions(const Temporary& temporary, const Permissions& permissions) {
  // The hidden and system attributes would be lost with the replaced file.
  FILE_BASIC_INFO basic{};  // times of 0 stay as they are
  basic.FileAttributes = permissions.bits;
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

namespace {

// Renames the open file to `name`, replacing a file of that name. With POSIX semantics (Windows 10
// 1607 and later, on NTFS) a file in the way that others hold with delete sharing is replaced too;
// they keep reading the old data.
bool RenameTo(HANDLE handle, const std::wstring& name, bool posixSemantics) {
  // FileRenameInfoEx and its flags, which the headers offer only to programs that require
  // Windows 10 1607: the flags take the place of ReplaceIfExists, as a word.
  constexpr auto kFileRenameInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(22);
  constexpr DWORD kReplaceIfExists = 0x1;
  constexpr DWORD kPosixSemantics = 0x2;
  static_assert(offsetof(FILE_RENAME_INFO, RootDirectory) >= sizeof(DWORD));
  std::vector<char> buffer(sizeof(FILE_RENAME_INFO) + name.size() * sizeof(wchar_t));
  auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  if (posixSemantics) {
    const DWORD flags = kReplaceIfExists | kPosixSemantics;
    std::memcpy(buffer.data(), &flags, sizeof(flags));
  } else {
    rename->ReplaceIfExists = TRUE;
  }
  rename->RootDirectory = nullptr;
  rename->FileNameLength = static_cast<DWORD>(name.size() * sizeof(wchar_t));
  std::copy(name.begin(), name.end(), rename->FileName);
  return SetFileInformationByHandle(handle, posixSemantics ? kFileRenameInfoEx : FileRenameInfo,
                                    rename, static_cast<DWORD>(buffer.size())) != FALSE;
}

bool IsNotSupported(DWORD error) {
  return error == ERROR_INVALID_PARAMETER || error == ERROR_INVALID_FUNCTION ||
         error == ERROR_NOT_SUPPORTED;
}

// Takes the deletion mark back, and makes sure the file system did: a file still marked would be
// deleted as magic-new.ini when it is closed.
void KeepOnClose(HANDLE handle) {
  FILE_STANDARD_INFO standard{};
  if (!MarkForDeletion(handle, false) ||
      !GetFileInformationByHandleEx(handle, FileStandardInfo, &standard, sizeof(standard))) {
    ThrowLastError();
  }
  if (standard.DeletePending) {
    throw SystemError(Reason::kNotKept, {});
  }
}

}  // namespace

void Replace(Temporary& temporary, const std::filesystem::path& target) {
  const HANDLE handle = Handle(temporary.file);
  const std::wstring name = LongPath(target);
  // Renamed through its own handle, which nobody else can hold.
  KeepOnClose(handle);
  if (!RenameTo(handle, name, false)) {
    DWORD error = GetLastError();
    bool replaced = false;
    if (error == ERROR_ACCESS_DENIED) {
      replaced = RenameTo(handle, name, true);
      // Where POSIX semantics are not to be had (older Windows, FAT, Wine), the first failure
      // says what is wrong.
      if (!replaced && !IsNotSupported(GetLastError())) {
        error = GetLastError();
      }
    }
    if (!replaced) {
      MarkForDeletion(handle, true);
      ThrowReplaceError(error, name);
    }
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
