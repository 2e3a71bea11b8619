#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "files/native_file.h"

namespace sigilflip::native {
namespace {

[[noreturn]] void ThrowErrno(int error) {
  using Kind = SystemError::Kind;
  throw SystemError(std::generic_category().message(error), error == EEXIST ? Kind::kNameTaken
                                                            : error == ENOENT || error == ENOTDIR
                                                                ? Kind::kNotFound
                                                                : Kind::kOther);
}

int Descriptor(File file) {
  return static_cast<int>(file);
}

// Where the kernel names the files this process has open.
constexpr const char* kOpenFiles = "/proc/self/fd";

// The extended attribute that holds a file's access control list.
constexpr const char* kAccessList = "system.posix_acl_access";

// Whether a failed chown, chmod or ACL call says that the file system keeps no such thing.
bool KeepsNoModes(int error) {
  return error == ENOSYS || error == ENOTSUP || error == EOPNOTSUPP;
}

// The access control list of `path`, which the mode alone would lose (its mask would become the
// group's permission); empty when it has none, or none can be had.
std::string AccessListOf(const std::filesystem::path& path) {
  std::string list;
  for (;;) {
    const ssize_t size = getxattr(path.c_str(), kAccessList, nullptr, 0);
    if (size <= 0) {
      return {};
    }
    list.resize(static_cast<std::size_t>(size));
    const ssize_t read = getxattr(path.c_str(), kAccessList, list.data(), list.size());
    if (read >= 0) {
      list.resize(static_cast<std::size_t>(read));
      return list;
    }
    if (errno != ERANGE) {
      return {};
    }
  }
}

char AsciiUpper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// As many links as the kernel follows in one path (Linux: 40).
constexpr int kMostLinks = 40;

// What the link at `path` holds.
std::filesystem::path LinkText(const std::filesystem::path& path) {
  std::string text(256, '\0');
  for (;;) {
    const ssize_t length = readlink(path.c_str(), text.data(), text.size());
    if (length < 0) {
      ThrowErrno(errno);
    }
    if (static_cast<std::size_t>(length) < text.size()) {
      text.resize(static_cast<std::size_t>(length));
      return text;
    }
    text.resize(text.size() * 2);
  }
}

// Refuses what is not a regular file, in words a user knows.
void RequireRegularFile(mode_t mode) {
  if (S_ISDIR(mode)) {
    throw SystemError(Reason::kFolder, {});
  }
  if (!S_ISREG(mode)) {
    throw SystemError(Reason::kNotAFile, {});
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
  FileHandle file(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (file.get() == kNoFile) {
    ThrowErrno(errno);
  }
  struct stat opened;
  if (fstat(Descriptor(file.get()), &opened) != 0) {
    ThrowErrno(errno);
  }
  RequireRegularFile(opened.st_mode);
  fcntl(Descriptor(file.get()), F_SETFL, fcntl(Descriptor(file.get()), F_GETFL) & ~O_NONBLOCK);
  return file.release();
}

std::filesystem::path MatchingName(const std::filesystem::path& path) {
  struct stat status;
  if (lstat(path.c_str(), &status) == 0 || errno != ENOENT) {
    return path;
  }
  const std::filesystem::path folder = path.parent_path().empty() ? "." : path.parent_path();
  DIR* const entries = opendir(folder.c_str());
  if (entries == nullptr) {
    return path;  // opening the file says what is wrong
  }
  const std::string wanted = path.filename().string();
  std::vector<std::string> matches;
  while (const dirent* entry = readdir(entries)) {
    const std::string_view name = entry->d_name;
    if (name.size() == wanted.size() &&
        std::equal(name.begin(), name.end(), wanted.begin(),
                   [](char a, char b) { return AsciiUpper(a) == AsciiUpper(b); })) {
      matches.emplace_back(name);
    }
  }
  closedir(entries);
  if (matches.empty()) {
    return path;
  }
  if (matches.size() > 1) {
    std::sort(matches.begin(), matches.end());
    std::string names = matches[0];
    for (std::size_t i = 1; i < matches.size(); ++i) {
      names += ", " + matches[i];
    }
    throw SystemError(Reason::kSeveralMatches, names);
  }
  return path.parent_path() / matches[0];
}

std::filesystem::path FullPath(const std::filesystem::path& path) {
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(path, error);
  return (error ? path : absolute).lexically_normal();
}

PathKind KindOf(const std::filesystem::path& path) {
  struct stat status;
  if (stat(path.c_str(), &status) != 0) {
    return PathKind::kMissing;
  }
  return S_ISDIR(status.st_mode) ? PathKind::kFolder : PathKind::kOther;
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
  if (S_ISDIR(status.st_mode)) {
    throw SystemError(Reason::kFolder, {});
  }
  if (!S_ISREG(status.st_mode)) {
    return std::nullopt;  // the rename says what is wrong with it
  }
  // The mode, not access(): root may write anywhere, yet a file its owner made read-only stays so.
  if ((status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
    throw SystemError(Reason::kReadOnly, {});
  }
  // Another user's setuid or setgid bit would make the new file, this user's now, run with this
  // user's rights: it is dropped, as cp -p and install do.
  const mode_t special = status.st_uid == geteuid() ? 07777 : 01777;
  return Permissions{.bits = static_cast<std::uint32_t>(status.st_mode & special),
                     .group = status.st_gid,
                     .accessList = AccessListOf(path)};
}

std::filesystem::path FinalTarget(const std::filesystem::path& path) {
  // The links walked one by one, with no help from /proc, which a chroot or container may lack.
  // Another user's link is not followed at all: it could lead this user's run (root's, say) to a
  // file that its maker may not write.
  std::filesystem::path at = path;
  struct stat status;
  for (int links = 0;; ++links) {
    if (lstat(at.c_str(), &status) != 0) {
      if (errno == ENOENT) {
        return path;  // a new file, or a link to nothing: the rename replaces the link
      }
      ThrowErrno(errno);
    }
    if (!S_ISLNK(status.st_mode)) {
      break;
    }
    if (status.st_uid != geteuid() && status.st_uid != 0) {
      throw SystemError(Reason::kOthersLink, {});
    }
    if (links == kMostLinks) {
      ThrowErrno(ELOOP);
    }
    const std::filesystem::path target = LinkText(at);
    at = target.is_absolute() ? target : at.parent_path() / target;
  }
  if (at == path) {
    return path;
  }
  // The kernel follows the links as it would for any other program of this user: where it would
  // not (fs.protected_symlinks: a link in a sticky folder), neither do we.
  if (stat(path.c_str(), &status) != 0) {
    ThrowErrno(errno);
  }
  if (!S_ISREG(status.st_mode) && !S_ISDIR(status.st_mode)) {
    throw SystemError(Reason::kNotAFile, {});
  }
  return at;
}

bool IsSameFile(File file, const std::filesystem::path& path) {
  struct stat opened;
  struct stat named;
  if (fstat(Descriptor(file), &opened) != 0) {
    ThrowErrno(errno);
  }
  if (stat(path.c_str(), &named) != 0) {
    if (errno == ENOENT) {
      return false;
    }
    ThrowErrno(errno);
  }
  return opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

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

void SetPermissions(const Temporary& temporary, const Permissions& permissions) {
  const int file = Descriptor(temporary.file);
  // The group first, as a change of group clears the setgid bit. A group the user is not in
  // cannot be given: the folder's then stands.
  if (fchown(file, static_cast<uid_t>(-1), static_cast<gid_t>(permissions.group)) != 0 &&
      errno != EPERM && !KeepsNoModes(errno)) {
    ThrowErrno(errno);
  }
  // File systems that keep no owners or modes (FAT, through FUSE) refuse the calls: nothing to
  // keep there.
  if (fchmod(file, static_cast<mode_t>(permissions.bits)) != 0 && !KeepsNoModes(errno)) {
    ThrowErrno(errno);
  }
  if (!permissions.accessList.empty() &&
      fsetxattr(file, kAccessList, permissions.accessList.data(), permissions.accessList.size(),
                0) != 0 &&
      !KeepsNoModes(errno)) {
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

void Sync(File file) {
  if (fsync(Descriptor(file)) != 0) {
    ThrowErrno(errno);
  }
}

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
    // A run still going on holds its lock; and the name must still be this very file.
    struct stat opened;
    struct stat named;
    if (flock(fd, LOCK_EX | LOCK_NB) == 0 && fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) &&
        lstat(path.c_str(), &named) == 0 && named.st_dev == opened.st_dev &&
        named.st_ino == opened.st_ino) {
      unlink(path.c_str());
    }
  }
  closedir(entries);
}

}  // namespace sigilflip::native
