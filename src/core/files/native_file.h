#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

#include "facts/run_failure.h"

// The platform's file calls, one implementation for POSIX and one for Windows. A call that fails
// throws SystemError with the reason, the system's words in the user's language where it has
// them.
namespace sigilflip::native {

using File = std::intptr_t;  // a file descriptor, or a Windows HANDLE
inline constexpr File kNoFile = -1;

class SystemError : public std::runtime_error {
 public:
  enum class Kind {
    kOther,
    kNotFound,   // no such file, or no folder on its path
    kNameTaken,  // the file could not be created because something of that name exists
    kInUse,      // another program may hold the file (Windows); it may let go in a moment
  };

  // The system's words, without a full stop "." (one of their own script's stays).
  explicit SystemError(std::string words, Kind kind = Kind::kOther)
      : SystemError(Reason::kSystem, std::move(words), kind) {}
  // A reason of Sigilflip's own; `words` are its details (the names, for kSeveralMatches).
  SystemError(Reason reason, std::string words, Kind kind = Kind::kOther)
      : std::runtime_error(words), reason_(reason), words_(std::move(words)), kind_(kind) {}
  Reason reason() const { return reason_; }
  const std::string& words() const { return words_; }
  Kind kind() const { return kind_; }

 private:
  Reason reason_;
  std::string words_;
  Kind kind_;
};

// The pauses before each new try at a file that another program holds, in milliseconds: virus
// scanners, sync clients and the search indexer open new files for a moment. About two seconds in
// all, after which the file is taken to be held for good.
inline constexpr std::array<int, 12> kInUsePauses = {25,  50,  75,  100, 125, 150,
                                                     175, 200, 225, 250, 275, 300};
void Pause(int milliseconds);

// Calls `call`, and again after each of kInUsePauses while it fails because another program may
// hold the file; then the last failure stands. Other failures are not tried again.
template <typename Call, typename PauseFunction = void (*)(int)>
auto RetryWhileInUse(Call&& call, PauseFunction&& pause = Pause) {
  for (const int milliseconds : kInUsePauses) {
    try {
      return call();
    } catch (const SystemError& error) {
      if (error.kind() != SystemError::Kind::kInUse) {
        throw;
      }
    }
    pause(milliseconds);
  }
  return call();
}

// Closes a file, a descriptor or a HANDLE, when it goes.
class FileHandle {
 public:
  explicit FileHandle(File file) : file_(file) {}
  ~FileHandle();
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;

  File get() const { return file_; }
  File release() { return std::exchange(file_, kNoFile); }

 private:
  File file_ = kNoFile;
};

// A path as the platform settles it: absolute and normalised; on Windows by Windows' own rules,
// which keep \\server\share and take \\?\ and \\.\ paths as they stand.
std::filesystem::path FullPath(const std::filesystem::path& path);
enum class PathKind { kMissing, kFolder, kOther };
PathKind KindOf(const std::filesystem::path& path);

// The file that `path` names, as Windows would find it: on POSIX, where nothing has that very
// name, the one entry of its folder whose name matches it but for the case of ASCII letters (a
// game installed from Windows may have Magic.ini); two or more such entries throw. `path` itself
// where nothing matches, and always on Windows, where names ignore case already.
std::filesystem::path MatchingName(const std::filesystem::path& path);

#ifdef _WIN32
// Whether `folder` (a full path, maybe in the \\?\ form) lies in Program Files or the Windows
// folder, which Windows keeps from programs that are not elevated; letters in any case.
bool InProtectedFolder(std::wstring folder);
#endif

// Opens a regular file for reading. Anything else (a folder, a pipe, a device) is refused at once
// with a reason that says what it is, without waiting on it. POSIX: links are followed as
// FinalTarget follows them, never another user's, which could lead root's run to a file that only
// root may read.
File OpenForReading(const std::filesystem::path& path);
// Reads up to `size` bytes; returns 0 only at the end of the file.
std::size_t Read(File file, char* buffer, std::size_t size);
void Rewind(File file);
// Closes a file; its errors do not matter (a file being written is synced before).
void Close(File file) noexcept;

// What a file that is about to be replaced passes on to its replacement: POSIX permission bits,
// group and access control list, or the Windows hidden and system attributes.
struct Permissions {
  std::uint32_t bits = 0;
  std::int64_t group = -1;  // POSIX: the group, kept where the user may set it
  std::string accessList;   // POSIX: the ACL's extended attribute, as stored; empty if none
};
// Throws when the file at `path` is read-only (POSIX: no write permission bit at all; Windows:
// the read-only attribute), whoever runs the program, or a folder. Returns what its replacement
// keeps (POSIX: never setuid or setgid), or nothing when there is no such file yet.
std::optional<Permissions> CheckReplaceable(const std::filesystem::path& path);

// Where writing (or reading) `path` ends up: the file that `path` leads to through links, as the
// system follows them for this user (itself when it is no link, not there yet, or a link to
// nothing). A link that another user made (POSIX: owned by neither this user nor root) is refused,
// and so is one the system would not follow for this user (Linux: fs.protected_symlinks) or one
// that leads to a device, a pipe or a socket.
std::filesystem::path FinalTarget(const std::filesystem::path& path);
// Whether `path` leads to the open `file` itself.
bool IsSameFile(File file, const std::filesystem::path& path);

// The names of the temporary files beside `target`: its name, ".~", up to six digits, ".tmp".
std::filesystem::path TemporaryName(const std::filesystem::path& target);
bool IsTemporaryName(const std::filesystem::path& target, std::string_view name);
// Calls `create` with new temporary names beside `target` while it throws SystemError with
// kNameTaken (a hundred names at most), and returns the name it took.
std::filesystem::path UnderFreeName(
    const std::filesystem::path& target,
    const std::function<void(const std::filesystem::path&)>& create);

// A new file that becomes `target` once complete. It is the run's alone until then: on Windows
// nobody else may open it, and it is deleted if the program ends before Replace; on Linux it has
// no name at all where the file system allows (O_TMPFILE), else a name locked by the run.
struct Temporary {
  File file = kNoFile;
  std::filesystem::path name;  // empty while it has none
};
enum class TemporaryKind { kUnnamedWherePossible, kNamed };
Temporary CreateTemporary(const std::filesystem::path& target,
                          TemporaryKind kind = TemporaryKind::kUnnamedWherePossible);
void SetPermissions(const Temporary& temporary, const Permissions& permissions);
void WriteAll(File file, std::string_view bytes);
// Starts writing the given bytes of the file to the disk, without waiting (Linux); elsewhere
// nothing. The sync at the end then has less left to wait for.
void StartWriteback(File file, std::uint64_t offset, std::uint64_t length) noexcept;
// Flushes the file's data to the disk.
void Sync(File file);
// Puts the complete temporary file in the place of `target`, in one step, and closes it. When
// this throws, the temporary file is still the run's: Replace may be tried again, or Discard.
void Replace(Temporary& temporary, const std::filesystem::path& target);
// Closes the temporary file and removes it.
void Discard(Temporary& temporary) noexcept;
// Removes the temporary files beside `target` that runs of this user ended abruptly left behind,
// never one that a run still going on holds, nor (POSIX) another user's.
void RemoveLeftovers(const std::filesystem::path& target) noexcept;

}  // namespace sigilflip::native
