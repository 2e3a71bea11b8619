#pragma once

#include <windows.h>

#include <string>

#include "files/native_file.h"
#include "files/windows_errors.h"
#include "text/windows_text.h"

// What the Windows file layer's parts share (native_file_win32.cpp and the links, permissions and
// temporary files beside it).
namespace sigilflip::native {

inline HANDLE Handle(File file) {
  return reinterpret_cast<HANDLE>(file);
}

inline File FromHandle(HANDLE handle) {
  return reinterpret_cast<File>(handle);
}

[[noreturn]] inline void ThrowFailure(const FailedCall& failed) {
  const Verdict verdict = Judge(failed);
  throw SystemError(verdict.reason,
                    verdict.reason == Reason::kSystem ? SystemMessage(failed.error) : std::string(),
                    verdict.kind);
}

[[noreturn]] inline void ThrowError(DWORD error) {
  ThrowFailure({.error = error});
}

[[noreturn]] inline void ThrowLastError() {
  ThrowError(GetLastError());
}

inline bool IsFolder(const std::wstring& name) {
  const DWORD attributes = GetFileAttributesW(name.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace sigilflip::native
