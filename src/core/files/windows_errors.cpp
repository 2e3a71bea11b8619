#include "files/windows_errors.h"

namespace sigilflip::native {

Verdict Judge(const FailedCall& failed) {
  using Kind = SystemError::Kind;
  namespace error = windows_error;
  switch (failed.error) {
    case error::kSharingViolation:
    case error::kLockViolation:
    case error::kCloudFileInUse:
      return {Kind::kInUse, Reason::kInUse};
    case error::kAccessDenied:
      // A rename over a file that anyone has open or mapped is refused whatever they share.
      if (failed.call == FileCall::kReplace) {
        return {Kind::kInUse, failed.targetHeld ? Reason::kInUse : Reason::kSystem};
      }
      if (failed.call == FileCall::kCreate && failed.protectedFolder) {
        return {Kind::kOther, Reason::kProtectedFolder};
      }
      return {Kind::kOther, Reason::kSystem};
    case error::kFileNotFound:
      if (failed.call == FileCall::kCreate && failed.folderExists) {
        return {Kind::kOther, Reason::kBlockedWrite};
      }
      return {Kind::kNotFound, Reason::kSystem};
    case error::kPathNotFound:
      return {Kind::kNotFound, Reason::kSystem};
    case error::kCloudFileProviderNotRunning:
    case error::kCloudFileNetworkUnavailable:
    case error::kCloudFileUnsuccessful:
    case error::kCloudFileAccessDenied:
      return {Kind::kOther, Reason::kCloudFile};
    case error::kFileExists:
    case error::kAlreadyExists:
      return {Kind::kNameTaken, Reason::kSystem};
    default:
      return {Kind::kOther, Reason::kSystem};
  }
}

}  // namespace sigilflip::native
