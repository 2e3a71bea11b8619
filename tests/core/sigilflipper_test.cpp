#include "run/sigilflipper.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "files/file_io.h"
#include "run/passes.h"
#include "test_support.h"
#include "words/user_texts.h"

#ifdef _WIN32
#include <windows.h>

#include "text/windows_text.h"
#else
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <csignal>
#endif

namespace sigilflip {
namespace {

namespace fs = std::filesystem;
using testing::CannotRead;
using testing::CannotWrite;
using testing::FileNotFoundReason;
using testing::Joined;
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
    return view.Take(Sigilflipper(table, folder.path(), random));
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
  for (const char* name : {"abc", "\xC6th", "ghi", "Jkl"}) {
    table.AddRune(name);
  }
  table.SetNewName(1, "\xC6th");
  table.SetNewName(2, "\xC6th");
  table.SetNewName(3, "abc");
  table.SetNewName(4, "jkl");  // the check compares exactly: Jkl is not jkl
  RecordingView view;
  ASSERT_TRUE(view.Take(ReportOf(table, "magic.ini", [&] { return table; })));
  EXPECT_EQ(view.warnings, (Texts{"Rune error : count = 2 : Æth", "Rune error : count = 0 : ghi",
                                  "Rune error : count = 0 : Jkl"}));
}

// What a run that throws shows: the failure it reports, out of memory, or a fault of our own.
TEST(ReportOf, WordsWhatTheRunThrows) {
  struct Throwing final : ByteSink {
    std::function<void()> fault;
    void Write(std::string_view) override { fault(); }
  };
  const struct {
    std::function<void()> fault;
    std::string error;
  } cases[] = {
      {[] { throw std::bad_alloc(); }, "Sigilflip ran out of memory while shuffling magic.ini."},
      {[] { throw std::logic_error("a fault"); }, "Sigilflip could not finish the run: a fault."},
      {[] { throw RunError(RunFailure::TooManyRunes(9)); }, texts::TooManyRunes("magic.ini", 9)},
  };
  for (const auto& row : cases) {
    RuneTable table;
    table.AddRune("kept");
    RecordingView view;
    EXPECT_FALSE(view.Take(ReportOf(table, "magic.ini", [&] {
      StringSource source("RUNE1=a\r\n");
      ScriptedRandom random({0.0f});
      Throwing sink;
      sink.fault = row.fault;
      return ShuffleRunes(source, random, [&]() -> ByteSink& { return sink; });
    })));
    EXPECT_EQ(view.events, Texts{"error: " + row.error});
    EXPECT_EQ(testing::Mapping(table), Texts{"kept => "});
  }
}

TEST(Check, PermutationIsSilent) {
  RuneTable table;
  table.AddRune("a");
  table.AddRune("b");
  table.SetNewName(1, "b");
  table.SetNewName(2, "a");
  EXPECT_TRUE(Check(table).empty());
}

// A run that cannot be completed, arranged after a good one in `f`: it shows one error and
// nothing else, and leaves the table, magic-new.ini and the folder as they were (and, on Linux, no
// file open).
struct Failure {
  const char* name;
  std::function<void()> arrange;
  std::string message;
  const char* game = "";                 // the folder of the failing run, in the test's
  std::optional<testing::User> as = {};  // who presses, made by root; else this process
};
// The link that the kernel refuses to follow for this user.
constexpr std::string_view kPlantedLink = "planted link";

std::vector<Failure> Failures(const fs::path& f) {
  const fs::path input = f / "magic.ini";
  const fs::path output = f / "magic-new.ini";
  const auto replace = [](const fs::path& path, auto&& make) {
    fs::remove(path);
    make(path);
  };
  const auto folder = [](const fs::path& at) { fs::create_directory(at); };
#ifndef _WIN32
  // `at` made another user's link, in that user's folder, to a file that only root may use.
  const auto othersLink = [=](const fs::path& at) {
    return [=] {
      WriteBytes(f / "root-only.txt", "RUNE1=root's\r\n");
      fs::permissions(f / "root-only.txt", fs::perms::owner_read | fs::perms::owner_write);
      replace(at, [](auto& link) { fs::create_symlink("root-only.txt", link); });
      EXPECT_EQ(lchown(at.c_str(), 4242, 4242), 0);
      EXPECT_EQ(chown(f.c_str(), 4242, 4242), 0);
    };
  };
#endif
  return {
      {"missing magic.ini", [=] { fs::remove(input); },
       CannotRead(input, FileNotFoundReason()) + "\n\n" + texts::kWhereTheGameIs},
      {"magic.ini a folder", [=] { replace(input, folder); },
       CannotRead(input, texts::kFolderReason)},
      {"magic-new.ini a folder", [=] { replace(output, folder); },
       CannotWrite(output, texts::kFolderReason)},
      // The mode itself is checked, not whether this user may write: root would be allowed to.
      {"magic-new.ini read-only",
       [=] { fs::permissions(output, fs::perms::owner_read | fs::perms::group_read); },
       CannotWrite(output, texts::kReadOnlyReason)},
      {"more than 1000 runes",
       [=] {
         std::string many;
         for (int i = 0; i <= 1000; ++i) {
           many += "RUNE1=r" + std::to_string(i) + "\r\n";
         }
         WriteBytes(input, many);
       },
       texts::TooManyRunes(DisplayPath(input), 1000)},
      {"the game folder not there", [] {},
       texts::NoSuchFolder(DisplayPath(f / "no such folder")) + "\n\n" + texts::kWhereTheGameIs,
       "no such folder"},
#ifndef _WIN32
      {"magic-new.ini a second name of magic.ini",
       [=] { replace(output, [](auto& at) { fs::create_symlink("magic.ini", at); }); },
       texts::OutputLeadsToInput(DisplayPath(output), DisplayPath(input))},
      // Opening a pipe for reading would wait for a writer and hold the window.
      {"magic.ini a pipe",
       [=] { replace(input, [](auto& at) { EXPECT_EQ(mkfifo(at.c_str(), 0644), 0); }); },
       CannotRead(input, texts::kNotAFileReason)},
      {"magic.ini a link to a device",
       [=] { replace(input, [](auto& at) { fs::create_symlink("/dev/zero", at); }); },
       CannotRead(input, texts::kNotAFileReason)},
      {"magic.ini a socket",
       [=] {
         fs::remove(input);
         sockaddr_un address{.sun_family = AF_UNIX, .sun_path = {}};
         input.string().copy(address.sun_path, sizeof(address.sun_path) - 1);
         const int listening = socket(AF_UNIX, SOCK_STREAM, 0);
         EXPECT_EQ(bind(listening, reinterpret_cast<const sockaddr*>(&address), sizeof(address)),
                   0);
         close(listening);  // the socket's name stays
       },
       CannotRead(input, texts::kNotAFileReason)},
      // Reading /proc/self/mem from its first byte fails with an input/output error.
      {"magic.ini failing to read",
       [=] { replace(input, [](auto& at) { fs::create_symlink("/proc/self/mem", at); }); },
       CannotRead(input, "Input/output error")},
      // Never replaced by a file: a pipe stands for a device here, which only root can make.
      {"magic-new.ini a link to a pipe",
       [=] {
         EXPECT_EQ(mkfifo((f / "pipe").c_str(), 0644), 0);
         replace(output, [](auto& at) { fs::create_symlink("pipe", at); });
       },
       CannotWrite(output, texts::kNotAFileReason)},
      // Names that Windows would not tell apart.
      {"magic.ini twice in other cases",
       [=] {
         fs::rename(input, f / "Magic.ini");
         WriteBytes(f / "MAGIC.INI", "RUNE1=b\r\n");
       },
       CannotRead(input, texts::SeveralMatchesReason("MAGIC.INI, Magic.ini"))},
      {"magic-new.ini a link to a folder",
       [=] {
         fs::create_directory(f / "sub");
         replace(output, [](auto& at) { fs::create_symlink("sub", at); });
       },
       CannotWrite(output, texts::kFolderReason)},
      {"the game folder a file", [=] { WriteBytes(f / "notes.txt", ""); },
       CannotRead(f / "notes.txt" / "magic.ini", "Not a directory") + "\n\n" +
           texts::kWhereTheGameIs,
       "notes.txt"},
      // Another user's link is followed by nobody else: not by root in that user's folder, to a
      // file only root may write or read (whose bytes magic-new.ini would show that user); not by
      // a member of a group folder, to a file of that member's.
      {"another user's link as magic-new.ini", othersLink(output),
       CannotWrite(output, texts::kOthersLinkReason), "", testing::User{0, {0}}},
      {"another user's link as magic.ini", othersLink(input),
       CannotRead(input, texts::kOthersLinkReason), "", testing::User{0, {0}}},
      {"another member's link in a group folder",
       [=] {
         WriteBytes(f / "mine.txt", "mine");
         EXPECT_EQ(chown((f / "mine.txt").c_str(), 4243, 4243), 0);
         replace(output, [](auto& at) { fs::create_symlink("mine.txt", at); });
         EXPECT_EQ(lchown(output.c_str(), 4242, 4250), 0);
         EXPECT_EQ(chown(f.c_str(), 0, 4250), 0);
         fs::permissions(f, (fs::perms::all & ~fs::perms::others_write) | fs::perms::set_gid);
       },
       CannotWrite(output, texts::kOthersLinkReason), "", testing::kPlayer},
      // Root's link in another user's sticky folder: the kernel (fs.protected_symlinks) follows
      // it for nobody else, and neither does Sigilflip.
      {kPlantedLink.data(),
       [=] {
         WriteBytes(f / "notes.txt", "mine");
         replace(output, [](auto& at) { fs::create_symlink("notes.txt", at); });
         fs::permissions(f, fs::perms::all | fs::perms::sticky_bit);
         EXPECT_EQ(chown(f.c_str(), 4242, 4242), 0);
       },
       CannotWrite(output, "Permission denied"), "", testing::kPlayer},
#endif
  };
}

TEST(FailedRun, ShowsOneErrorAndChangesNothing) {
#ifndef _WIN32
  const auto openFiles = [] {
    return std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator{});
  };
#endif
  for (std::size_t row = 0; row < Failures({}).size(); ++row) {
    TempDir folder;
    const Failure failure = Failures(folder.path())[row];
    SCOPED_TRACE(failure.name);
#ifndef _WIN32
    if ((failure.as && geteuid() != 0) ||
        (failure.name == kPlantedLink &&
         std::ifstream("/proc/sys/fs/protected_symlinks").get() != '1')) {
      std::printf("skipped \"%s\": needs root and fs.protected_symlinks = 1\n", failure.name);
      continue;
    }
    const auto filesBefore = openFiles();
#endif
    RuneTable table;
    RecordingView view;
    const auto run = [&](const fs::path& game) {
      ScriptedRandom random(std::vector<float>(1001, 0.0f));
      return view.Take(Sigilflipper(table, game, random));
    };
    // magic-new.ini's bytes, where it leads to a file this user may read.
    const auto output = [&] {
      std::error_code refused;
      return fs::is_regular_file(folder / "magic-new.ini", refused)
                 ? ReadBytes(folder / "magic-new.ini")
                 : std::string("(none)");
    };
    WriteBytes(folder / "magic.ini", "RUNE1=a\r\n");
    ASSERT_TRUE(run(folder.path()));
    view.events.clear();
    failure.arrange();
    const Texts entries = folder.Entries();
    const std::string bytes = output();

    EXPECT_EQ(
        testing::PressedBy(
            failure.as,
            [&] { return run(folder.path() / failure.game) ? "succeeded" : Joined(view.events); }),
        Joined({"error: " + failure.message}));
    EXPECT_EQ(folder.Entries(), entries);
    EXPECT_EQ(output(), bytes);
    EXPECT_EQ(table.RuneCount(), 1);  // the last good run's
    EXPECT_EQ(table.Runes(1).NewName, "a");
#ifndef _WIN32
    EXPECT_EQ(openFiles(), filesBefore);
#endif
  }
}

TEST_F(SigilflipperTest, LeftoversOfEndedRunsGoButNothingElse) {
  WriteBytes(folder / "magic.ini", "RUNE1=a\r\n");
  const Texts leftovers = {"magic-new.ini.~0.tmp", "magic-new.ini.~123456.tmp"};
  Texts others = {"magic-new.ini.~1234567.tmp", "magic-new.ini.~12a.tmp", "magic-new.ini.tmp",
                  "magic.ini.~12.tmp"};
#ifndef _WIN32
  // Root in a shared folder leaves another user's file of a leftover's name alone.
  if (geteuid() == 0) {
    WriteBytes(folder / "magic-new.ini.~4242.tmp", "theirs");
    ASSERT_EQ(chown((folder / "magic-new.ini.~4242.tmp").c_str(), 4242, 4242), 0);
    others.push_back("magic-new.ini.~4242.tmp");
  }
#endif
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
        std::find(leftovers.begin(), leftovers.end(), name) == leftovers.end() &&
        std::find(others.begin(), others.end(), name) == others.end()) {
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
  // A named temporary file that is never committed goes with its run.
  const Texts before = folder.Entries();
  ReplacementFile(folder / "magic-new.ini", nullptr, native::TemporaryKind::kNamed).Write("x");
  EXPECT_EQ(folder.Entries(), before);
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

TEST_F(SigilflipperTest, ReplacedOutputKeepsItsPermissions) {
  WriteBytes(folder / "magic.ini", "RUNE1=a\r\n");
  WriteBytes(folder / "magic-new.ini", "earlier");
  fs::permissions(folder / "magic-new.ini", fs::perms::owner_read | fs::perms::owner_write);
  ASSERT_TRUE(Run({0.0f}));
  EXPECT_EQ(ReadBytes(folder / "magic-new.ini"), "Rune1=a\r\n");
#ifndef _WIN32
  EXPECT_EQ(fs::status(folder / "magic-new.ini").permissions(),
            fs::perms::owner_read | fs::perms::owner_write);
  // Writable by anyone at all is not read-only; the sticky bit stays too, but a text file never
  // runs as its owner: setuid and setgid go, of the user's own file too (root's, as root).
  using enum fs::perms;
  for (const fs::perms writable :
       {group_write, others_write, group_read | group_write, owner_read | owner_write | sticky_bit,
        owner_read | owner_write | group_write | set_gid, all | set_uid | set_gid,
        owner_all | group_all | others_read | others_exec | set_gid}) {
    fs::permissions(folder / "magic-new.ini", writable, fs::perm_options::replace);
    ASSERT_TRUE(Run({0.0f})) << view.errors.back();
    EXPECT_EQ(fs::status(folder / "magic-new.ini").permissions(), writable & ~(set_uid | set_gid));
  }
  // Its group, where this user may give it (root: any), and its access control list (as the
  // kernel stores it: version 2, then {tag, permissions, id} for the owner rw, user 4242 rw, the
  // group r, the mask rw and the others nothing), where the file system keeps one.
  const std::string output = (folder / "magic-new.ini").string();
  if (geteuid() == 0) {
    ASSERT_EQ(chown(output.c_str(), static_cast<uid_t>(-1), 4242), 0);
  }
  const std::string acl(
      "\x02\0\0\0\x01\0\x06\0\xff\xff\xff\xff\x02\0\x06\0\x92\x10\0\0"
      "\x04\0\x04\0\xff\xff\xff\xff\x10\0\x06\0\xff\xff\xff\xff"
      "\x20\0\0\0\xff\xff\xff\xff",
      44);
  setxattr(output.c_str(), "system.posix_acl_access", acl.data(), acl.size(), 0);
  const auto groupAndList = [&] {
    struct stat status {};
    std::string list(64, '\0');
    list.resize(static_cast<std::size_t>(std::max<ssize_t>(
        0, getxattr(output.c_str(), "system.posix_acl_access", list.data(), list.size()))));
    return stat(output.c_str(), &status) == 0 ? std::to_string(status.st_gid) + " " + list : "";
  };
  const std::string before = groupAndList();
  ASSERT_TRUE(Run({0.0f})) << view.errors.back();
  EXPECT_EQ(groupAndList(), before);
  if (geteuid() == 0) {
    // Another user's file, setuid and setgid: its replacement, root's now, is neither.
    ASSERT_EQ(chown(output.c_str(), 4242, static_cast<gid_t>(-1)), 0);
    fs::permissions(folder / "magic-new.ini", all | set_uid | set_gid, fs::perm_options::replace);
    setxattr(output.c_str(), "system.posix_acl_access", acl.data(), acl.size(), 0);
    ASSERT_TRUE(Run({0.0f})) << view.errors.back();
    EXPECT_EQ(fs::status(folder / "magic-new.ini").permissions() & (set_uid | set_gid), none);
    EXPECT_EQ(groupAndList(), before);
    // A user whose file has a group the user is not in: the folder's group stands.
    ASSERT_EQ(chown(folder.path().c_str(), 4243, 4243), 0);
    ASSERT_EQ(chown(output.c_str(), 4243, 4244), 0);
    EXPECT_EQ(testing::PressedBy(testing::kPlayer,
                                 [&] { return Run({0.0f}) ? groupAndList().substr(0, 5) : ""; }),
              "4243 ");
    // That user's hard link to root's setuid program, where the kernel lets users link to files
    // they may not write (fs.protected_hardlinks = 0): root's new magic-new.ini runs as nobody,
    // and the program stays as it was.
    const char* const protectedLinks = "/proc/sys/fs/protected_hardlinks";
    std::string protecting;
    std::getline(std::ifstream(protectedLinks), protecting);
    const fs::path program = folder / "program";
    WriteBytes(program, "#!/bin/sh\n");
    fs::permissions(program, owner_all | group_read | group_exec | set_uid,
                    fs::perm_options::replace);
    fs::remove(output);
    if (std::ofstream(protectedLinks) << "0\n") {
      const std::string linked = testing::PressedBy(testing::kPlayer, [&] {
        return link(program.c_str(), output.c_str()) == 0 ? "linked" : std::strerror(errno);
      });
      std::ofstream(protectedLinks) << protecting << "\n";
      ASSERT_EQ(linked, "linked");
      ASSERT_TRUE(Run({0.0f})) << view.errors.back();
      EXPECT_EQ(fs::status(output).permissions(), owner_all | group_read | group_exec);
      EXPECT_EQ(fs::status(program).permissions(), owner_all | group_read | group_exec | set_uid);
      EXPECT_EQ(ReadBytes(program), "#!/bin/sh\n");
    } else {
      std::printf("skipped the hard link to a setuid program: fs.protected_hardlinks is fixed\n");
    }
  }
  // A new magic-new.ini: readable by all that the umask allows.
  fs::remove(folder / "magic-new.ini");
  const mode_t previous = umask(022);
  ASSERT_TRUE(Run({0.0f})) << view.errors.back();
  umask(previous);
  EXPECT_EQ(fs::status(folder / "magic-new.ini").permissions(),
            owner_read | owner_write | group_read | others_read);
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
    // Changed since the last backup (Wine shows every file so: its own word is asked too).
    EXPECT_EQ(native::CheckReplaceable(folder / "magic-new.ini")->bits,
              kept | FILE_ATTRIBUTE_ARCHIVE);
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
  ASSERT_TRUE(view.Take(Sigilflipper(table, deep, random))) << view.errors[0];
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
  EXPECT_FALSE(view.Take(Sigilflipper(table, deep, again)));
  EXPECT_EQ(view.errors,
            Texts{(deep / "magic-new.ini").string() + " leads to " + (deep / "magic.ini").string() +
                  " itself. Sigilflip does not overwrite the file it reads."});
  EXPECT_EQ(ReadBytes(deep / "magic.ini"), "RUNE1=a\r\nRUNE2=b\r\n");
}

#ifndef _WIN32
// A game on a FAT stick, here through FUSE, which keeps no owners or modes: every press works, not
// only the first (which had no magic-new.ini to take them from). TempDir's names need no quotes.
TEST_F(SigilflipperTest, EveryRunWorksOnAFatFolder) {
  if (access("/dev/fuse", R_OK | W_OK) != 0 ||
      std::system("command -v fusefat mkfs.vfat fusermount >/dev/null") != 0) {
    GTEST_SKIP() << "no FUSE, fusefat or mkfs.vfat here: the FAT folder is not tried";
  }
  const std::string image = (folder / "stick.img").string();
  const std::string stick = (folder / "stick").string();
  fs::create_directory(stick);
  ASSERT_EQ(std::system(("truncate -s 4M " + image + " && mkfs.vfat " + image +
                         " >/dev/null && fusefat -o rw+ " + image + " " + stick + " >/dev/null")
                            .c_str()),
            0);
  const std::unique_ptr<const std::string, void (*)(const std::string*)> mounted(
      &stick, [](auto* at) { (void)!std::system(("fusermount -u " + *at).c_str()); });
  WriteBytes(fs::path(stick) / "magic.ini", "RUNE1=a\r\n");
  for (int run = 1; run <= 2; ++run) {
    ScriptedRandom random({0.0f});
    EXPECT_TRUE(view.Take(Sigilflipper(table, stick, random))) << run << ": " << view.errors[0];
  }
  EXPECT_EQ(ReadBytes(fs::path(stick) / "magic-new.ini"), "Rune1=a\r\n");
}

// As on Windows: a game installed from there may spell its files in other cases.
TEST_F(SigilflipperTest, NamesInOtherCasesServe) {
  WriteBytes(folder / "Magic.ini", "RUNE1=a\r\n");
  WriteBytes(folder / "MAGIC-NEW.INI", "earlier");
  ASSERT_TRUE(Run({0.0f})) << view.errors[0];
  EXPECT_EQ(ReadBytes(folder / "MAGIC-NEW.INI"), "Rune1=a\r\n");
  EXPECT_EQ(folder.Entries(), (Texts{"MAGIC-NEW.INI", "Magic.ini"}));
}

TEST_F(SigilflipperTest, LinkedOutputReplacesItsTarget) {
  fs::create_directory(folder / "elsewhere");
  WriteBytes(folder / "elsewhere" / "target.ini", "old");
  // A link to a link: the kernel follows as many as it follows for any program.
  fs::create_symlink("target.ini", folder / "elsewhere" / "link.ini");
  fs::create_symlink(fs::path("elsewhere") / "link.ini", folder / "magic-new.ini");
  WriteBytes(folder / "magic.ini", "RUNE1=a\r\n");
  ASSERT_TRUE(Run({0.0f}));
  EXPECT_TRUE(fs::is_symlink(folder / "magic-new.ini"));
  EXPECT_EQ(ReadBytes(folder / "elsewhere" / "target.ini"), "Rune1=a\r\n");
  // The same without /proc, as in a container that lacks it.
  if (geteuid() == 0) {
    WriteBytes(folder / "magic.ini", "RUNE1=b\r\n");
    EXPECT_EQ(testing::InChild([&] { return testing::WithoutProc(), Run({0.0f}) ? "ok" : ""; }),
              "ok");
    EXPECT_EQ(ReadBytes(folder / "elsewhere" / "target.ini"), "Rune1=b\r\n");
  }
  EXPECT_TRUE(fs::is_symlink(folder / "elsewhere" / "link.ini"));
  EXPECT_EQ(std::distance(fs::directory_iterator(folder / "elsewhere"), fs::directory_iterator{}),
            2);
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
