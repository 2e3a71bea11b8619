#include "file_failure.h"

namespace sigilflip::native {

Verdict Judge(const FailedCall& failed) {
  using Kind = SystemError::Kind;
  namespace error = windows_error;
  switch (failed.error) {
    case error::kSharingViolation:
    case error::kLockViolation:
    case error::kCloudFileInUse:
      return {Kind::kInUse, kInUseReason};
    case error::kAccessDenied:
      // A rename over a file that anyone has open or mapped is refused whatever they share.
      if (failed.call == FileCall::kReplace) {
        return {Kind::kInUse, failed.targetHeld ? kInUseReason : nullptr};
      }
      if (failed.call == FileCall::kCreate && failed.protectedFolder) {
        return {Kind::kOther, kProtectedFolderReason};
      }
      return {Kind::kOther, nullptr};
    case error::kFileNotFound:
      if (failed.call == FileCall::kCreate && failed.folderExists) {
        return {Kind::kOther, kBlockedWriteReason};
      }
      return {Kind::kOther, nullptr};
    case error::kCloudFileProviderNotRunning:
    case error::kCloudFileNetworkUnavailable:
    case error::kCloudFileUnsuccessful:
    case error::kCloudFileAccessDenied:
      return {Kind::kOther, kCloudFileReason};
    case error::kFileExists:
    case error::kAlreadyExists:
      return {Kind::kNameTaken, nullptr};
    default:
      return {Kind::kOther, nullptr};
  }
}

}  // namespace sigilflip::native
