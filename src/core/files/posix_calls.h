#pragma once

#include <sys/stat.h>

#include <cerrno>
#include <system_error>

#include "files/native_file.h"

// What the POSIX file layer's parts share (native_file_posix.cpp and the links, permissions and
// temporary files beside it).
namespace sigilflip::native {

// Throws the system's reason for `error`.
[[noreturn]] inline void ThrowErrno(int error) {
  using Kind = SystemError::Kind;
  throw SystemError(std::generic_category().message(error), error == EEXIST ? Kind::kNameTaken
                                                            : error == ENOENT || error == ENOTDIR
                                                                ? Kind::kNotFound
                                                                : Kind::kOther);
}

inline int Descriptor(File file) {
  return static_cast<int>(file);
}

// Where the kernel names the files this process has open.
inline constexpr const char* kOpenFiles = "/proc/self/fd";

// Refuses what is not a regular file, in words a user knows.
inline void RequireRegularFile(mode_t mode) {
  if (S_ISDIR(mode)) {
    throw SystemError(Reason::kFolder, {});
  }
  if (!S_ISREG(mode)) {
    throw SystemError(Reason::kNotAFile, {});
  }
}

}  // namespace sigilflip::native
