// Where magic-new.ini leads through links, as the kernel follows them, and no further.
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "files/native_file.h"
#include "files/posix_calls.h"

namespace sigilflip::native {
namespace {

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

}  // namespace

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

}  // namespace sigilflip::native
