// What a replaced file passes on to its replacement: mode, group and access control list.
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <string>

#include "files/native_file.h"
#include "files/posix_calls.h"

namespace sigilflip::native {
namespace {

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

}  // namespace

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
  // magic-new.ini is a text file: it never runs as its owner. A setuid or setgid bit would make the
  // new file, this user's now, run with this user's rights: a hard link to root's setuid program,
  // made by another user, would become root's program with that user's bytes.
  return Permissions{.bits = static_cast<std::uint32_t>(status.st_mode & 01777),
                     .group = status.st_gid,
                     .accessList = AccessListOf(path)};
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

}  // namespace sigilflip::native
