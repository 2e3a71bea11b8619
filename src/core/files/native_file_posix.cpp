// The POSIX file layer: opening, reading and writing. Links, permissions and temporary files
// have files of their own beside it.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "files/native_file.h"
#include "files/posix_calls.h"

namespace sigilflip::native {
namespace {

char AsciiUpper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

}  // namespace

File OpenForReading(const std::filesystem::path& path) {
  // The links walked by their owners first; the file they lead to is then opened as a file, so
  // that no link put there in between is followed.
  const std::filesystem::path target = FinalTarget(path);
  // Looked at before it is opened, so that no device is ever opened; and opened without blocking,
  // so that a pipe put there in between cannot hold the window either.
  struct stat before;
  if (stat(target.c_str(), &before) != 0) {
    ThrowErrno(errno);
  }
  RequireRegularFile(before.st_mode);
  FileHandle file(open(target.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
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

}  // namespace sigilflip::native
