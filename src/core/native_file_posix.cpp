#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <system_error>

#include "native_file.h"

namespace sigilflip::native {
namespace {

[[noreturn]] void ThrowErrno(int error) {
  throw SystemError(std::generic_category().message(error), error == EEXIST);
}

int Descriptor(File file) {
  return static_cast<int>(file);
}

// Refuses what is not a regular file, in words a user knows.
void RequireRegularFile(mode_t mode) {
  if (S_ISDIR(mode)) {
    throw SystemError(kFolderReason);
  }
  if (!S_ISREG(mode)) {
    throw SystemError(kNotAFileReason);
  }
}

}  // namespace

File OpenForReading(const std::filesystem::path& path) {
  // Looked at before it is opened, so that no device is ever opened; and opened without blocking,
  // so that a pipe put there in between cannot hold the window either.
  struct stat before;
  if (stat(path.c_str(), &before) != 0) {
    ThrowErrno(errno);
  }
  RequireRegularFile(before.st_mode);
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    ThrowErrno(errno);
  }
  struct stat opened;
  if (fstat(fd, &opened) != 0) {
    const int error = errno;
    close(fd);
    ThrowErrno(error);
  }
  try {
    RequireRegularFile(opened.st_mode);
  } catch (...) {
    close(fd);
    throw;
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

std::size_t Read(File file, char* buffer, std::size_t size) {
  for (;;) {
    const ssize_t count = read(Descriptor(file), buffer, size);
    if (count >= 0) {
      return static_cast<std::size_t>(count);
    }
    if (errno != EINTR) {
      ThrowErrno(errno);
    }
  }
}

void Rewind(File file) {
  if (lseek(Descriptor(file), 0, SEEK_SET) != 0) {
    ThrowErrno(errno);
  }
}

void Close(File file) noexcept {
  close(Descriptor(file));
}

std::optional<Permissions> CheckReplaceable(const std::filesystem::path& path) {
  struct stat status;
  if (stat(path.c_str(), &status) != 0) {
    if (errno == ENOENT) {
      return std::nullopt;
    }
    ThrowErrno(errno);
  }
  if (!S_ISREG(status.st_mode)) {
    return std::nullopt;  // the rename says what is wrong with it
  }
  // The mode, not access(): root may write anywhere, yet a file its owner made read-only stays so.
  if ((status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
    throw SystemError(kReadOnlyReason);
  }
  return Permissions{static_cast<std::uint32_t>(status.st_mode & 07777)};
}

File CreateNew(const std::filesystem::path& path) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) {
    ThrowErrno(errno);
  }
  return fd;
}

void SetPermissions(File file, Permissions permissions) {
  if (fchmod(Descriptor(file), static_cast<mode_t>(permissions.bits)) != 0) {
    ThrowErrno(errno);
  }
}

void WriteAll(File file, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t count = write(Descriptor(file), bytes.data(), bytes.size());
    if (count < 0) {
      if (errno == EINTR) {
        continue;
      }
      ThrowErrno(errno);
    }
    bytes.remove_prefix(static_cast<std::size_t>(count));
  }
}

void StartWriteback([[maybe_unused]] File file, [[maybe_unused]] std::uint64_t offset,
                    [[maybe_unused]] std::uint64_t length) noexcept {
#ifdef __linux__
  // Only a hint: a failure here shows again at the sync.
  sync_file_range(Descriptor(file), static_cast<off_t>(offset), static_cast<off_t>(length),
                  SYNC_FILE_RANGE_WRITE);
#endif
}

void SyncAndClose(File file) {
  const int synced = fsync(Descriptor(file));
  const int syncError = errno;
  const int closed = close(Descriptor(file));
  const int closeError = errno;
  if (synced != 0) {
    ThrowErrno(syncError);
  }
  if (closed != 0) {
    ThrowErrno(closeError);
  }
}

void Replace(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (std::rename(from.c_str(), to.c_str()) != 0) {
    ThrowErrno(errno);
  }
}

void Remove(const std::filesystem::path& path) noexcept {
  unlink(path.c_str());
}

}  // namespace sigilflip::native
