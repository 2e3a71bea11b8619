#pragma once

#include "files/native_file.h"

// What a failed Windows file call means to the user: whether to try again, because another
// program may let go of the file in a moment, and which words to give. Standard C++, so that one
// table holds it on every platform; the Windows file layer gathers the facts and follows it.
namespace sigilflip::native {

// The error codes of Windows that decide anything here (winerror.h).
namespace windows_error {
inline constexpr unsigned long kInvalidFunction = 1;
inline constexpr unsigned long kFileNotFound = 2;
inline constexpr unsigned long kPathNotFound = 3;
inline constexpr unsigned long kAccessDenied = 5;
inline constexpr unsigned long kSharingViolation = 32;
inline constexpr unsigned long kLockViolation = 33;
inline constexpr unsigned long kNotSupported = 50;
inline constexpr unsigned long kFileExists = 80;
inline constexpr unsigned long kInvalidParameter = 87;
inline constexpr unsigned long kAlreadyExists = 183;
inline constexpr unsigned long kCloudFileProviderNotRunning = 362;
inline constexpr unsigned long kCloudFileNetworkUnavailable = 388;
inline constexpr unsigned long kCloudFileUnsuccessful = 389;
inline constexpr unsigned long kCloudFileInUse = 391;
inline constexpr unsigned long kCloudFileAccessDenied = 395;
}  // namespace windows_error

enum class FileCall {
  kOpen,     // opening magic.ini
  kCreate,   // creating the temporary file in the game folder
  kReplace,  // renaming it over magic-new.ini
  kOther,    // reading, writing, flushing an open file
};

// A failed call with what is known around it.
struct FailedCall {
  unsigned long error = 0;
  FileCall call = FileCall::kOther;
  // kCreate: the folder is there (Controlled folder access answers "not found" for files in it).
  bool folderExists = false;
  // kCreate: the folder is one Windows keeps from programs that are not elevated (Program Files,
  // the Windows folder), and Sigilflip is not.
  bool protectedFolder = false;
  // kReplace: the file in the way may be replaced as far as its permissions go, so that only
  // another program's handle or view of it stands in the way.
  bool targetHeld = false;
};

struct Verdict {
  SystemError::Kind kind;  // kInUse: try again after a pause
  Reason reason;
};

Verdict Judge(const FailedCall& failed);

}  // namespace sigilflip::native
