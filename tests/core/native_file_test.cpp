#include "files/native_file.h"
#include "files/windows_errors.h"
#include "test_support.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <numeric>
#include <string>
#include <utility>
#include <vector>

namespace sigilflip::native {
namespace {

using Kind = SystemError::Kind;

// Fails with `failures` in turn, then returns 7; records the pauses in between.
struct Flaky {
  explicit Flaky(std::vector<Kind> failures_) : failures(std::move(failures_)) {}

  std::vector<Kind> failures;
  std::vector<int> pauses;
  std::size_t calls = 0;

  int Run() {
    return RetryWhileInUse(
        [&] {
          if (calls < failures.size()) {
            const Kind kind = failures[calls++];
            throw SystemError(kind == Kind::kInUse ? "in use" : "other", kind);
          }
          ++calls;
          return 7;
        },
        [&](int milliseconds) { pauses.push_back(milliseconds); });
  }
};

TEST(RetryWhileInUse, WaitsOutABriefHoldWithGrowingPauses) {
  Flaky flaky({Kind::kInUse, Kind::kInUse, Kind::kInUse});
  EXPECT_EQ(flaky.Run(), 7);
  EXPECT_EQ(flaky.pauses, (std::vector<int>{25, 50, 75}));
}

TEST(RetryWhileInUse, GivesUpAfterAboutTwoSecondsSayingTheFileIsInUse) {
  Flaky flaky(std::vector<Kind>(100, Kind::kInUse));
  EXPECT_EQ(testing::MessageOf<SystemError>([&] { flaky.Run(); }), "in use");
  EXPECT_EQ(flaky.calls, kInUsePauses.size() + 1);
  const int waited = std::accumulate(flaky.pauses.begin(), flaky.pauses.end(), 0);
  EXPECT_GE(waited, 1500);
  EXPECT_LE(waited, 2500);
}

TEST(RetryWhileInUse, OtherFailuresAreNotTriedAgain) {
  for (const Kind kind : {Kind::kOther, Kind::kNameTaken}) {
    Flaky flaky({kind});
    EXPECT_THROW(flaky.Run(), SystemError);
    EXPECT_EQ(flaky.calls, 1u);
    EXPECT_TRUE(flaky.pauses.empty());
  }
}

// What a failed Windows call means: in use (tried again) or not there, and which reason.
TEST(Judge, TriesAgainOrSaysWhatToDo) {
  namespace error = windows_error;
  const struct {
    FailedCall failed;
    Kind kind;
    Reason reason;
  } cases[] = {
      {{error::kSharingViolation, FileCall::kOpen}, Kind::kInUse, Reason::kInUse},
      {{error::kLockViolation, FileCall::kOther}, Kind::kInUse, Reason::kInUse},
      {{error::kCloudFileInUse, FileCall::kOpen}, Kind::kInUse, Reason::kInUse},
      // A rename over a file that is open or mapped anywhere: tried again whatever the sharing;
      // in the end the words say whether another program or the permissions stand in the way.
      {{error::kAccessDenied, FileCall::kReplace, false, false, true},
       Kind::kInUse,
       Reason::kInUse},
      {{error::kAccessDenied, FileCall::kReplace}, Kind::kInUse, Reason::kSystem},
      {{error::kAccessDenied, FileCall::kCreate, true, true},
       Kind::kOther,
       Reason::kProtectedFolder},
      {{error::kAccessDenied, FileCall::kCreate, true, false}, Kind::kOther, Reason::kSystem},
      {{error::kAccessDenied, FileCall::kOpen, true, true, true}, Kind::kOther, Reason::kSystem},
      // Controlled folder access: "not found" for a new file in a folder that is there.
      {{error::kFileNotFound, FileCall::kCreate, true}, Kind::kOther, Reason::kBlockedWrite},
      {{error::kFileNotFound, FileCall::kCreate, false}, Kind::kNotFound, Reason::kSystem},
      {{error::kFileNotFound, FileCall::kOpen, true}, Kind::kNotFound, Reason::kSystem},
      {{error::kPathNotFound, FileCall::kCreate, true}, Kind::kNotFound, Reason::kSystem},
      {{error::kCloudFileProviderNotRunning, FileCall::kOpen}, Kind::kOther, Reason::kCloudFile},
      {{error::kCloudFileNetworkUnavailable, FileCall::kOther}, Kind::kOther, Reason::kCloudFile},
      {{error::kCloudFileUnsuccessful, FileCall::kReplace}, Kind::kOther, Reason::kCloudFile},
      {{error::kCloudFileAccessDenied, FileCall::kCreate}, Kind::kOther, Reason::kCloudFile},
      {{error::kFileExists, FileCall::kCreate}, Kind::kNameTaken, Reason::kSystem},
      {{error::kAlreadyExists, FileCall::kCreate}, Kind::kNameTaken, Reason::kSystem},
      {{error::kInvalidParameter, FileCall::kReplace, true, true, true},
       Kind::kOther,
       Reason::kSystem},
  };
  for (const auto& [failed, kind, reason] : cases) {
    const Verdict verdict = Judge(failed);
    EXPECT_EQ(verdict.kind, kind) << failed.error;
    EXPECT_EQ(verdict.reason, reason) << failed.error;
  }
}

#ifdef _WIN32
TEST(InProtectedFolder, ProgramFilesInAnyCaseAndNoOtherFolder) {
  wchar_t programs[MAX_PATH] = {};
  ASSERT_GT(GetEnvironmentVariableW(L"ProgramFiles", programs, MAX_PATH), 0u);
  std::wstring lower = programs;
  CharLowerW(lower.data());
  EXPECT_TRUE(InProtectedFolder(lower + L"\\Game"));
  EXPECT_TRUE(InProtectedFolder(L"\\\\?\\" + std::wstring(programs)));
  EXPECT_FALSE(InProtectedFolder(std::wstring(programs) + L" Games\\Game"));
}
#endif

#ifndef _WIN32
// Files on two file systems may have one inode number (each new tmpfs counts from 1): a link to
// the other is not magic.ini itself.
TEST(IsSameFile, TakesTheFileSystemWithTheInode) {
  testing::TempDir folder;
  const std::string same = testing::InChild([&] {
    if (geteuid() != 0 || unshare(CLONE_NEWNS) != 0 ||
        mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
      return std::string("skipped: no mount namespace of our own here (root has one)");
    }
    struct stat a {};
    struct stat b {};
    for (const char* name : {"a", "b"}) {
      std::filesystem::create_directory(folder / name);
      mount("none", (folder / name).c_str(), "tmpfs", 0, nullptr);
      testing::WriteBytes(folder / name / "magic.ini", "RUNE1=a\r\n");
    }
    if (stat((folder / "a/magic.ini").c_str(), &a) != 0 ||
        stat((folder / "b/magic.ini").c_str(), &b) != 0 || a.st_ino != b.st_ino) {
      return std::string("skipped: no two files with one inode number here");
    }
    const native::FileHandle file(native::OpenForReading(folder / "a/magic.ini"));
    return std::to_string(native::IsSameFile(file.get(), folder / "a/magic.ini")) +
           std::to_string(native::IsSameFile(file.get(), folder / "b/magic.ini"));
  });
  if (same.starts_with("skipped")) {
    GTEST_SKIP() << same;
  }
  EXPECT_EQ(same, "10");
}
#endif

TEST(TemporaryName, OnlyOurOwnNamesCountAsTemporary) {
  const std::filesystem::path target = std::filesystem::path("game") / "magic-new.ini";
  const std::string made = TemporaryName(target).filename().string();
  EXPECT_TRUE(IsTemporaryName(target, made)) << made;
  EXPECT_EQ(TemporaryName(target).parent_path(), target.parent_path());
  for (const char* ours : {"magic-new.ini.~0.tmp", "magic-new.ini.~999999.tmp"}) {
    EXPECT_TRUE(IsTemporaryName(target, ours)) << ours;
  }
  for (const char* other :
       {"magic-new.ini", "magic-new.ini.~.tmp", "magic-new.ini.~1234567.tmp",
        "magic-new.ini.~12a.tmp", "magic-new.ini.~12.tmp.bak", "magic-new.ini.12.tmp",
        "magic.ini.~12.tmp", "xmagic-new.ini.~12.tmp", "MAGIC-NEW.INI.~12.tmp"}) {
    EXPECT_FALSE(IsTemporaryName(target, other)) << other;
  }
}

}  // namespace
}  // namespace sigilflip::native
