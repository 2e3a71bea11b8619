// The temporary file that becomes magic-new.ini, the protected folders that refuse it, and the
// leftovers of runs ended abruptly.
#include <windows.h>

#include <shlobj.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <limits>
#include <vector>

#include "files/native_file.h"
#include "files/win32_calls.h"

namespace sigilflip::native {
namespace {

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
