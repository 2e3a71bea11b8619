#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <utility>

// Why a run could not be completed, as facts: which file, which operation, which reason. The
// texts that users read are made of them in one place (run_texts.h).
namespace sigilflip {

// Why a file call failed: the system's own words, or one of the reasons Sigilflip says in words of
// its own, where the system's would mislead or not say what to do.
enum class Reason {
  kSystem,
  kFolder,           // a folder, not a file
  kNotAFile,         // a device, a pipe or a socket
  kReadOnly,         // magic-new.ini is read-only
  kInUse,            // another program holds the file
  kSeveralMatches,   // Linux: several files have the name in other letter cases
  kOthersLink,       // Linux: a link that another user owns
  kProtectedFolder,  // Windows: a folder it keeps from programs that are not elevated
  kBlockedWrite,     // Windows: Controlled folder access blocked the write
  kCloudFile,        // Windows: a cloud file that could not be fetched
  kNotKept,          // Windows: the file system would delete the new file at its close
};

enum class FileAccess { kRead, kWrite };

struct RunFailure {
  enum class Kind {
    kFileCall,             // a call on `file` failed
    kNoSuchFolder,         // the game folder `file` is not there at all
    kOutputLeadsToInput,   // magic-new.ini (`file`) is magic.ini (`other`) itself
    kTooManyRunes,         // `file` names more than `limit` runes
    kChangedWhileReading,  // `file` names the rune `name` in its second pass only
    kChanged,              // `file` is not what it was in the first pass
    kOutOfMemory,          // while working on `file`
    kUnexpected,           // a fault of Sigilflip's own: `words` says what
  };
  Kind kind = Kind::kUnexpected;
  std::filesystem::path file;
  std::filesystem::path other;
  FileAccess access = FileAccess::kRead;
  Reason reason = Reason::kSystem;
  std::string words;     // the system's words for kSystem; the names for kSeveralMatches
  bool missing = false;  // the file is not there
  std::string name;      // the rune's name, as its bytes
  int limit = 0;

  static RunFailure FileCall(std::filesystem::path file, FileAccess access, Reason reason,
                             std::string words, bool missing) {
    RunFailure failure = Of(Kind::kFileCall, std::move(file));
    failure.access = access;
    failure.reason = reason;
    failure.words = std::move(words);
    failure.missing = missing;
    return failure;
  }
  static RunFailure NoSuchFolder(std::filesystem::path folder) {
    return Of(Kind::kNoSuchFolder, std::move(folder));
  }
  static RunFailure OutputLeadsToInput(std::filesystem::path output, std::filesystem::path input) {
    RunFailure failure = Of(Kind::kOutputLeadsToInput, std::move(output));
    failure.other = std::move(input);
    return failure;
  }
  // The file of these three is the source's, which the run that read it gives (ReportOf).
  static RunFailure TooManyRunes(int limit) {
    RunFailure failure = Of(Kind::kTooManyRunes, {});
    failure.limit = limit;
    return failure;
  }
  static RunFailure ChangedWhileReading(std::string name) {
    RunFailure failure = Of(Kind::kChangedWhileReading, {});
    failure.name = std::move(name);
    return failure;
  }
  static RunFailure Changed() { return Of(Kind::kChanged, {}); }
  static RunFailure OutOfMemory(std::filesystem::path input) {
    return Of(Kind::kOutOfMemory, std::move(input));
  }
  static RunFailure Unexpected(std::string what) {
    RunFailure failure = Of(Kind::kUnexpected, {});
    failure.words = std::move(what);
    return failure;
  }

 private:
  static RunFailure Of(Kind kind, std::filesystem::path file) {
    RunFailure failure;
    failure.kind = kind;
    failure.file = std::move(file);
    return failure;
  }
};

// A run that cannot go on.
class RunError : public std::runtime_error {
 public:
  explicit RunError(RunFailure failure)
      : std::runtime_error("the run could not be completed"), failure_(std::move(failure)) {}
  const RunFailure& failure() const { return failure_; }
  RunFailure& failure() { return failure_; }

 private:
  RunFailure failure_;
};

}  // namespace sigilflip
