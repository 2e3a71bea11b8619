#include "sigilflipper.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include "file_io.h"
#include "test_support.h"
#include "user_texts.h"

#ifdef _WIN32
#include <windows.h>

#include "windows_text.h"
#else
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#endif

namespace sigilflip {
namespace {

namespace fs = std::filesystem;
using testing::CannotRead;
using testing::CannotWrite;
using testing::FileNotFoundReason;
using testing::ReadBytes;
using testing::RecordingView;
using testing::ScriptedRandom;
using testing::TempDir;
using testing::WriteBytes;
using Texts = std::vector<std::string>;

class SigilflipperTest : public ::testing::Test {
 protected:
  // One run with scripted draws; returns whether it succeeded.
  bool Run(const std::vector<float>& draws) {
    ScriptedRandom random(draws);
    return Sigilflipper(table, folder.path(), random, view);
  }

  TempDir folder;
  RuneTable table;
  RecordingView view;
};

TEST_F(SigilflipperTest, WritesTheOutputAndShowsTheMapping) {
  WriteBytes(folder / "magic.ini", "[Runes]\r\nRUNE1=Fire\r\nrune2= water \r\nRune3=FIRE\r\n");
  ASSERT_TRUE(Run({0.99f, 0.0f}));
  EXPECT_EQ(ReadBytes(folder / "magic-new.ini"),
            "[Runes]\r\nRune1=water\r\nRune2=Fire\r\nRune3=water\r\n");
  EXPECT_EQ(view.events, (Texts{"list", "item: Fire => water", "item: water => Fire"}));
  EXPECT_EQ(table.RuneCount(), 2);
  EXPECT_EQ(folder.Entries(), (Texts{"magic-new.ini", "magic.ini"}));
}

TEST_F(SigilflipperTest, ListShowsNamesAsUnicode) {
  WriteBytes(folder / "magic.ini", "RUNE1=\xC6ther\r\n");
  ASSERT_TRUE(Run({0.0f}));
  EXPECT_EQ(view.list, Texts{"Æther => Æther"});
  EXPECT_EQ(ReadBytes(folder / "magic-new.ini"), "Rune1=\xC6ther\r\n");
}

TEST_F(SigilflipperTest, EmptyInputGivesEmptyOutputAndEmptyList) {
  WriteBytes(folder / "magic.ini", "");
  view.list = {"left over"};
  ASSERT_TRUE(Run({}));
  EXPECT_EQ(ReadBytes(folder / "magic-new.ini"), "");
  EXPECT_EQ(view.events, Texts{"list"});
  EXPECT_TRUE(view.list.empty());
}

TEST_F(SigilflipperTest, SecondRunReplacesTableListAndOutput) {
  WriteBytes(folder / "magic.ini", "RUNE1=a\r\nRUNE2=b\r\nRUNE3=c\r\n");
  ASSERT_TRUE(Run({0.0f, 0.0f, 0.0f}));
  WriteBytes(folder / "magic.ini", "RUNE1=x\r\nRUNE2=y\r\n");
  ASSERT_TRUE(Run({0.0f, 0.0f}));
  EXPECT_EQ(view.list, (Texts{"x => x", "y => y"}));
  EXPECT_EQ(table.RuneCount(), 2);
  EXPECT_EQ(table.Runes(3).Used, kFalse);
  EXPECT_EQ(ReadBytes(folder / "magic-new.ini"), "Rune1=x\r\nRune2=y\r\n");
}

TEST_F(SigilflipperTest, EmptyNameWarnsAfterTheListWithTheFreeSlotsCounted) {
  // Runes "", B, C with k = 0: " => B", "B => C", "C => ". The empty name matches the empty
  // NewName of rune 3 and of the 997 free slots.
  WriteBytes(folder / "magic.ini", "RUNE1=\r\nRUNE2=B\r\nRUNE3=C\r\n");
  ASSERT_TRUE(Run({0.0f, 0.0f, 0.0f}));
  EXPECT_EQ(view.events, (Texts{"list", "item:  => B", "item: B => C", "item: C => ",
                                "warning: Rune error : count = 998 : "}));
}

TEST(Check, WarnsForEveryNameNotUsedOnceInSlotOrder) {
  RuneTable table;
  for (const char* name : {"abc", "def", "ghi", "Jkl"}) {
    table.AddRune(name);
  }
  table.SetNewName(1, "def");
  table.SetNewName(2, "def");
  table.SetNewName(3, "abc");
  table.SetNewName(4, "jkl");  // the check compares exactly: Jkl is not jkl
  RecordingView view;
  Check(table, view);
  EXPECT_EQ(view.warnings, (Texts{"Rune error : count = 2 : def", "Rune error : count = 0 : ghi",
                                  "Rune error : count = 0 : Jkl"}));
}

TEST(Check, PermutationIsSilent) {
  RuneTable table;
  table.AddRune("a");
  table.AddRune("b");
  table.SetNewName(1, "b");
  table.SetNewName(2, "a");
  RecordingView view;
  Check(table, view);
  EXPECT_TRUE(view.events.empty());
}

TEST_F(SigilflipperTest, MissingInputIsAnErrorThatChangesNothing) {
  WriteBytes(folder / "magic.ini", "RUNE1=a\r\n");
  ASSERT_TRUE(Run({0.0f}));
  fs::remove(folder / "magic.ini");
  view.events.clear();

  EXPECT_FALSE(Run({}));
  ASSERT_EQ(view.errors.size(), 1u);
  EXPECT_EQ(view.errors[0], CannotRead(folder / "magic.ini", FileNotFoundReason()) + "\n\n" +
                                texts::kWhereTheGameIs);
  EXPECT_EQ(view.events.size(), 1u);  // the error only: the list is left as it was
  EXPECT_EQ(table.RuneCount(), 1);
  EXPECT_EQ(table.Runes(1).NewName, "a");
  EXPECT_EQ(ReadBytes(folder / "magic-new.ini"), "Rune1=a\r\n");
}

TEST_F(SigilflipperTest, DirectoryInPlaceOfTheOutputIsAnError) {
  WriteBytes(folder / "magic.ini", "RUNE1=a\r\n");
  fs::create_directory(folder / "magic-new.ini");
  EXPECT_FALSE(Run({0.0f}));
  EXPECT_EQ(view.errors,
            Texts{CannotWrite(folder / "magic-new.ini", "It is a folder, not a file")});
  EXPECT_TRUE(fs::is_directory(folder / "magic-new.ini"));
  EXPECT_EQ(folder.Entries(), (Texts{"magic-new.ini", "magic.ini"}));
  EXPECT_EQ(table.RuneCount(), 0);
}

TEST_F(SigilflipperTest, LeftoversOfEndedRunsGoButNothingElse) {
  WriteBytes(folder / "magic.ini", "RUNE1=a\r\n");
  const Texts leftovers = {"magic-new.ini.~0.tmp", "magic-new.ini.~123456.tmp"};
  const Texts others = {"magic-new.ini.~1234567.tmp", "magic-new.ini.~12a.tmp", "magic-new.ini.tmp",
                        "magic.ini.~12.tmp"};
  // Another window's run, still writing, keeps its temporary file.
  ReplacementFile running(folder / "magic-new.ini", nullptr, native::TemporaryKind::kNamed);
  running.Write("Rune1=other\r\n");
  for (const Texts& names : {leftovers, others}) {
    for (const std::string& name : names) {
      WriteBytes(folder / name.c_str(), "left");
    }
  }

  Texts expected = others;
  for (const std::string& name : folder.Entries()) {
    if (native::IsTemporaryName("magic-new.ini", name) &&
        std::find(leftovers.begin(), leftovers.end(), name) == leftovers.end()) {
      expected.push_back(name);  // the running one's
    }
  }
  ASSERT_EQ(expected.size(), others.size() + 1);
  expected.insert(expected.end(), {"magic-new.ini", "magic.ini"});
  std::sort(expected.begin(), expected.end());

  ASSERT_TRUE(Run({0.0f})) << view.errors[0];
  EXPECT_EQ(folder.Entries(), expected);
  running.Commit();
  EXPECT_EQ(ReadBytes(folder / "magic-new.ini"), "Rune1=other\r\n");
}

TEST_F(SigilflipperTest, TooManyRunesWritesNothing) {
  std::string input;
  for (int i = 0; i <= 1000; ++i) {
    input += "RUNE1=r" + std::to_string(i) + "\r\n";
  }
  WriteBytes(folder / "magic.ini", input);
  WriteBytes(folder / "magic-new.ini", "earlier");
  EXPECT_FALSE(Run({}));
  ASSERT_EQ(view.errors.size(), 1u);
  EXPECT_NE(view.errors[0].find("magic.ini names more than 1000 different runes"),
            std::string::npos);
  EXPECT_EQ(ReadBytes(folder / "magic-new.ini"), "earlier");
  EXPECT_EQ(folder.Entries(), (Texts{"magic-new.ini", "magic.ini"}));
}

TEST_F(SigilflipperTest, ExactlyAThousandRunesWork) {
  std::string input;
  for (int i = 1; i <= 1000; ++i) {
    input += "RUNE" + std::to_string(i % 5 + 1) + "=r" + std::to_string(i) + "\r\n";
  }
  WriteBytes(folder / "magic.ini", input);
  ASSERT_TRUE(Run(std::vector<float>(1000, 0.99999994f)));
  EXPECT_TRUE(view.warnings.empty());
  ASSERT_EQ(view.list.size(), 1000u);
  EXPECT_EQ(view.list[0], "r1 => r2");
  EXPECT_EQ(view.list[999], "r1000 => r1");
}

TEST_F(SigilflipperTest, InputThatIsAFolderIsRefused) {
  fs::create_directory(folder / "magic.ini");
  EXPECT_FALSE(Run({}));
  EXPECT_EQ(view.errors, Texts{CannotRead(folder / "magic.ini", "It is a folder, not a file")});
  EXPECT_EQ(folder.Entries(), Texts{"magic.ini"});
}

TEST_F(SigilflipperTest, ReadOnlyOutputIsKeptAndWritableOutputKeepsItsPermissions) {
  WriteBytes(folder / "magic.ini", "RUNE1=a\r\n");
  WriteBytes(folder / "magic-new.ini", "earlier");
  // The mode itself is checked, not whether this user may write: root would be allowed to.
  fs::permissions(folder / "magic-new.ini", fs::perms::owner_read | fs::perms::group_read);
  EXPECT_FALSE(Run({0.0f}));
  EXPECT_EQ(view.errors, Texts{CannotWrite(folder / "magic-new.ini", "It is read-only")});
  EXPECT_EQ(ReadBytes(folder / "magic-new.ini"), "earlier");
  EXPECT_EQ(folder.Entries(), (Texts{"magic-new.ini", "magic.ini"}));

  fs::permissions(folder / "magic-new.ini", fs::perms::owner_read | fs::perms::owner_write);
  ASSERT_TRUE(Run({0.0f}));
  EXPECT_EQ(ReadBytes(folder / "magic-new.ini"), "Rune1=a\r\n");
#ifndef _WIN32
  EXPECT_EQ(fs::status(folder / "magic-new.ini").permissions(),
            fs::perms::owner_read | fs::perms::owner_write);
  // Writable by anyone at all is not read-only.
  for (const fs::perms writable : {fs::perms::group_write, fs::perms::others_write,
                                   fs::perms::group_read | fs::perms::group_write}) {
    fs::permissions(folder / "magic-new.ini", writable, fs::perm_options::replace);
    ASSERT_TRUE(Run({0.0f})) << view.errors.back();
    EXPECT_EQ(fs::status(folder / "magic-new.ini").permissions(), writable);
  }
#endif
}

#ifdef _WIN32
TEST_F(SigilflipperTest, ReplacedOutputKeepsItsHiddenAndSystemAttributes) {
  WriteBytes(folder / "magic.ini", "RUNE1=a\r\n");
  const std::wstring output = (folder / "magic-new.ini").wstring();
  for (const DWORD kept : {DWORD{FILE_ATTRIBUTE_HIDDEN},
                           DWORD{FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM}, DWORD{0}}) {
    WriteBytes(folder / "magic-new.ini", "earlier");
    ASSERT_TRUE(SetFileAttributesW(output.c_str(), kept));
    ASSERT_TRUE(Run({0.0f})) << view.errors[0];
    EXPECT_EQ(ReadBytes(folder / "magic-new.ini"), "Rune1=a\r\n");
    const DWORD attributes = GetFileAttributesW(output.c_str());
    EXPECT_EQ(attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM), kept);
    EXPECT_NE(attributes & FILE_ATTRIBUTE_ARCHIVE, 0u);  // changed since the last backup
    SetFileAttributesW(output.c_str(), FILE_ATTRIBUTE_NORMAL);
  }
}
#endif

TEST_F(SigilflipperTest, NamesBeyondAsciiAndPathsBeyondTheOldLimitWork) {
  // A folder name with letters outside ASCII, nested past 260 characters.
  fs::path deep = folder.path();
  for (int level = 0; level < 6; ++level) {
    deep /= fs::path(u8"Ærø-ünïcødé-" + std::u8string(40, u8'x'));
  }
  ASSERT_GT(deep.native().size(), 300u);
  fs::create_directories(deep);
  WriteBytes(deep / "magic.ini", "RUNE1=a\r\nRUNE2=b\r\n");
  ScriptedRandom random({0.99f, 0.0f});
  ASSERT_TRUE(Sigilflipper(table, deep, random, view)) << view.errors[0];
  EXPECT_EQ(ReadBytes(deep / "magic-new.ini"), "Rune1=b\r\nRune2=a\r\n");

  // There too, a magic-new.ini that is magic.ini itself (a second name of the same file) is
  // refused.
  fs::remove(deep / "magic-new.ini");
#ifdef _WIN32
  ASSERT_TRUE(CreateHardLinkW(native::LongPath(deep / "magic-new.ini").c_str(),
                              native::LongPath(deep / "magic.ini").c_str(), nullptr));
#else
  fs::create_hard_link(deep / "magic.ini", deep / "magic-new.ini");
#endif
  ScriptedRandom again({0.99f, 0.0f});
  EXPECT_FALSE(Sigilflipper(table, deep, again, view));
  EXPECT_EQ(view.errors,
            Texts{(deep / "magic-new.ini").string() + " leads to " + (deep / "magic.ini").string() +
                  " itself. Sigilflip does not overwrite the file it reads."});
  EXPECT_EQ(ReadBytes(deep / "magic.ini"), "RUNE1=a\r\nRUNE2=b\r\n");
}

#ifndef _WIN32
TEST_F(SigilflipperTest, PipeOrDeviceAsInputIsRefusedAtOnce) {
  // Opening a pipe for reading would wait for a writer and hold the window.
  ASSERT_EQ(mkfifo((folder / "magic.ini").c_str(), 0644), 0);
  EXPECT_FALSE(Run({}));
  fs::remove(folder / "magic.ini");
  fs::create_symlink("/dev/zero", folder / "magic.ini");
  EXPECT_FALSE(Run({}));
  fs::remove(folder / "magic.ini");
  const int listening = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string socketPath = (folder / "magic.ini").string();
  ASSERT_LT(socketPath.size(), sizeof(address.sun_path));
  socketPath.copy(address.sun_path, socketPath.size());
  ASSERT_EQ(bind(listening, reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);
  EXPECT_FALSE(Run({}));
  close(listening);
  const std::string expected =
      CannotRead(folder / "magic.ini", "It is a device, a pipe or a socket, not a file");
  EXPECT_EQ(view.errors, (Texts{expected, expected, expected}));
}

TEST_F(SigilflipperTest, RunsLeaveNoFileOpen) {
  const auto openFiles = [] {
    return std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator{});
  };
  const auto before = openFiles();
  WriteBytes(folder / "magic.ini", "RUNE1=a\r\nRUNE2=b\r\n");
  ASSERT_TRUE(Run({0.0f, 0.0f}));
  fs::permissions(folder / "magic-new.ini", fs::perms::owner_read);
  EXPECT_FALSE(Run({0.0f, 0.0f}));  // refused after the first pass
  fs::remove(folder / "magic-new.ini");
  fs::create_directory(folder / "magic-new.ini");
  EXPECT_FALSE(Run({0.0f, 0.0f}));
  fs::remove(folder / "magic.ini");
  EXPECT_FALSE(Run({}));
  EXPECT_EQ(openFiles(), before);
}

TEST_F(SigilflipperTest, FailedReadIsAnErrorNotAShortFile) {
  // Reading /proc/self/mem from its first byte fails with an input/output error.
  fs::create_symlink("/proc/self/mem", folder / "magic.ini");
  WriteBytes(folder / "magic-new.ini", "earlier");
  EXPECT_FALSE(Run({}));
  EXPECT_EQ(view.errors, Texts{CannotRead(folder / "magic.ini", "Input/output error")});
  EXPECT_EQ(ReadBytes(folder / "magic-new.ini"), "earlier");
}

TEST_F(SigilflipperTest, OutputLinkedToTheInputIsRefused) {
  WriteBytes(folder / "magic.ini", "RUNE1=a\r\nRUNE2=b\r\n");
  fs::create_symlink("magic.ini", folder / "magic-new.ini");
  EXPECT_FALSE(Run({0.99f, 0.0f}));
  ASSERT_EQ(view.errors.size(), 1u);
  EXPECT_EQ(view.errors[0], (folder / "magic-new.ini").string() + " leads to " +
                                (folder / "magic.ini").string() +
                                " itself. Sigilflip does not overwrite the file it reads.");
  EXPECT_EQ(ReadBytes(folder / "magic.ini"), "RUNE1=a\r\nRUNE2=b\r\n");
  EXPECT_TRUE(fs::is_symlink(folder / "magic-new.ini"));
}

TEST_F(SigilflipperTest, LinkedOutputReplacesItsTarget) {
  fs::create_directory(folder / "elsewhere");
  WriteBytes(folder / "elsewhere" / "target.ini", "old");
  fs::create_symlink(fs::path("elsewhere") / "target.ini", folder / "magic-new.ini");
  WriteBytes(folder / "magic.ini", "RUNE1=a\r\n");
  ASSERT_TRUE(Run({0.0f}));
  EXPECT_TRUE(fs::is_symlink(folder / "magic-new.ini"));
  EXPECT_EQ(ReadBytes(folder / "elsewhere" / "target.ini"), "Rune1=a\r\n");
  EXPECT_EQ(fs::directory_iterator(folder / "elsewhere")->path().filename(), "target.ini");
}

TEST_F(SigilflipperTest, RunKilledWhileWritingLeavesNothingBehind) {
  WriteBytes(folder / "magic.ini", "RUNE1=a\r\n");
  WriteBytes(folder / "magic-new.ini", "earlier");
  for (const auto kind :
       {native::TemporaryKind::kUnnamedWherePossible, native::TemporaryKind::kNamed}) {
    int written[2];
    ASSERT_EQ(pipe(written), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      try {
        ReplacementFile output(folder / "magic-new.ini", nullptr, kind);
        const std::string block(1 << 20, 'x');
        output.Write(block);
        (void)!write(written[1], "w", 1);
        for (int more = 0; more < 1000; ++more) {
          output.Write(block);
        }
      } catch (...) {
      }
      _exit(1);
    }
    close(written[1]);  // so that a child failing early ends the read
    char byte = 0;
    EXPECT_EQ(read(written[0], &byte, 1), 1);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    close(written[0]);
    EXPECT_EQ(ReadBytes(folder / "magic-new.ini"), "earlier");
    // A named temporary file can only be removed by the next run.
    EXPECT_EQ(folder.Entries().size(), kind == native::TemporaryKind::kNamed ? 3u : 2u);
    ASSERT_TRUE(Run({0.0f})) << view.errors[0];
    EXPECT_EQ(folder.Entries(), (Texts{"magic-new.ini", "magic.ini"}));
    WriteBytes(folder / "magic-new.ini", "earlier");
  }
}

// Files may grow to `limit` bytes; writing more fails with EFBIG instead of a signal.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t limit) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    previous_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit lowered = saved_;
    lowered.rlim_cur = limit;
    setrlimit(RLIMIT_FSIZE, &lowered);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, previous_);
  }

 private:
  rlimit saved_{};
  void (*previous_)(int) = nullptr;
};

TEST_F(SigilflipperTest, WriteFailingPartWayKeepsTheEarlierOutput) {
  std::string input;
  for (int i = 0; i < 20000; ++i) {
    input += "RUNE1=a\r\nsome other line " + std::to_string(i) + "\r\n";
  }
  WriteBytes(folder / "magic.ini", input);
  WriteBytes(folder / "magic-new.ini", "earlier");
  {
    FileSizeLimit limit(100 * 1024);
    EXPECT_FALSE(Run({0.0f}));
  }
  ASSERT_EQ(view.errors.size(), 1u);
  EXPECT_EQ(view.errors[0], CannotWrite(folder / "magic-new.ini", "File too large"));
  EXPECT_EQ(ReadBytes(folder / "magic-new.ini"), "earlier");
  EXPECT_EQ(folder.Entries(), (Texts{"magic-new.ini", "magic.ini"}));
}
#endif

}  // namespace
}  // namespace sigilflip
