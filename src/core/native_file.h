#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

// The platform's file calls, one implementation for POSIX and one for Windows. A call that fails
// throws SystemError with the system's reason, in the user's language where the system has one.
namespace sigilflip::native {

using File = std::intptr_t;  // a file descriptor, or a Windows HANDLE
inline constexpr File kNoFile = -1;

class SystemError : public std::runtime_error {
 public:
  // `reason` is a sentence without its full stop.
  explicit SystemError(const std::string& reason, bool nameTaken = false)
      : std::runtime_error(reason), nameTaken_(nameTaken) {}
  // The file could not be created because something of that name exists.
  bool NameTaken() const { return nameTaken_; }

 private:
  bool nameTaken_;
};

// The reasons of our own, where the systems' words would mislead ("Access is denied").
inline constexpr const char* kFolderReason = "It is a folder, not a file";
inline constexpr const char* kNotAFileReason = "It is a device, a pipe or a socket, not a file";
inline constexpr const char* kReadOnlyReason = "It is read-only";

// Opens a regular file for reading. Anything else (a folder, a pipe, a device) is refused at once
// with a reason that says what it is, without waiting on it.
File OpenForReading(const std::filesystem::path& path);
// Reads up to `size` bytes; returns 0 only at the end of the file.
std::size_t Read(File file, char* buffer, std::size_t size);
void Rewind(File file);
// Closes a file opened for reading; its errors do not matter.
void Close(File file) noexcept;

// What a file that is about to be replaced asks of its replacement.
struct Permissions {
  std::uint32_t bits;  // POSIX permission bits; unused on Windows
};
// Throws when the file at `path` is read-only (POSIX: no write permission bit at all; Windows:
// the read-only attribute), whoever runs the program. Returns its permissions for the replacement,
// or nothing when there is no such file yet.
std::optional<Permissions> CheckReplaceable(const std::filesystem::path& path);

// Creates a new file for writing; throws with NameTaken() when the name exists already.
File CreateNew(const std::filesystem::path& path);
void SetPermissions(File file, Permissions permissions);
void WriteAll(File file, std::string_view bytes);
// Starts writing the given bytes of the file to the disk, without waiting (Linux); elsewhere
// nothing. The sync at the end then has less left to wait for.
void StartWriteback(File file, std::uint64_t offset, std::uint64_t length) noexcept;
// Flushes the file's data to the disk, then closes it; the file is closed even when this throws.
void SyncAndClose(File file);
// Renames `from` over `to`, replacing it in one step.
void Replace(const std::filesystem::path& from, const std::filesystem::path& to);
void Remove(const std::filesystem::path& path) noexcept;

}  // namespace sigilflip::native
