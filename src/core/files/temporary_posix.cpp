// The temporary file that becomes magic-new.ini, and the leftovers of runs ended abruptly.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <utility>

#include "files/native_file.h"
#include "files/posix_calls.h"

namespace sigilflip::native {
namespace {

// Gives an unnamed temporary file a name of its own beside `target`.
void GiveName(Temporary& temporary, const std::filesystem::path& target) {
  const std::string self = std::string(kOpenFiles) + "/" + std::to_string(temporary.file);
  temporary.name = UnderFreeName(target, [&](const std::filesystem::path& name) {
    if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) != 0) {
      ThrowErrno(errno);
    }
  });
}

}  // namespace

Temporary CreateTemporary(const std::filesystem::path& target, TemporaryKind kind) {
  Temporary temporary;
#ifdef O_TMPFILE
  if (kind == TemporaryKind::kUnnamedWherePossible) {
    // No name until it is complete, so an ended program leaves nothing behind. File systems
    // without it refuse; the named file below then serves.
    // It is named through /proc at the end: without /proc, the named file serves.
    const std::filesystem::path folder = target.parent_path().empty() ? "." : target.parent_path();
    if (access(kOpenFiles, X_OK) == 0) {
      temporary.file = open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    }
  }
#else
  (void)kind;
#endif
  if (temporary.file != kNoFile) {
    // The lock tells later runs that this file is not left over; it goes with the program.
    flock(Descriptor(temporary.file), LOCK_EX);
    return temporary;
  }
  temporary.name = UnderFreeName(target, [&](const std::filesystem::path& name) {
    FileHandle file(open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (file.get() == kNoFile) {
      ThrowErrno(errno);
    }
    // Another run may have taken it for a leftover before it was locked: then it has no name, and
    // another name serves. (A file system without locks serves all the same.)
    flock(Descriptor(file.get()), LOCK_EX);
    struct stat status;
    if (fstat(Descriptor(file.get()), &status) == 0 && status.st_nlink == 0) {
      ThrowErrno(EEXIST);
    }
    temporary.file = file.release();
  });
  return temporary;
}

void Replace(Temporary& temporary, const std::filesystem::path& target) {
  if (temporary.name.empty()) {
    GiveName(temporary, target);
  }
  if (std::rename(temporary.name.c_str(), target.c_str()) != 0) {
    ThrowErrno(errno);
  }
  temporary.name.clear();
  Close(std::exchange(temporary.file, kNoFile));
}

void Discard(Temporary& temporary) noexcept {
  if (!temporary.name.empty()) {
    unlink(temporary.name.c_str());
    temporary.name.clear();
  }
  if (temporary.file != kNoFile) {
    Close(std::exchange(temporary.file, kNoFile));
  }
}

void RemoveLeftovers(const std::filesystem::path& target) noexcept {
  const std::filesystem::path folder = target.parent_path().empty() ? "." : target.parent_path();
  DIR* const entries = opendir(folder.c_str());
  if (entries == nullptr) {
    return;
  }
  while (const dirent* entry = readdir(entries)) {
    if (!IsTemporaryName(target, entry->d_name)) {
      continue;
    }
    const std::filesystem::path path = folder / entry->d_name;
    const FileHandle file(open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    const int fd = Descriptor(file.get());
    if (fd < 0) {
      continue;
    }
    // A run still going on holds its lock; the name must still be this very file, and this user's
    // (root in a shared folder removes nobody else's file of that name).
    struct stat opened;
    struct stat named;
    if (flock(fd, LOCK_EX | LOCK_NB) == 0 && fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) &&
        opened.st_uid == geteuid() && lstat(path.c_str(), &named) == 0 &&
        named.st_dev == opened.st_dev && named.st_ino == opened.st_ino) {
      unlink(path.c_str());
    }
  }
  closedir(entries);
}

}  // namespace sigilflip::native
