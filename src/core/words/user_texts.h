#pragma once

#include <string>
#include <string_view>

// Every text that Sigilflip's users read, but the system's own words (its reasons for a failed
// file call) and the window's captions (form1_layout.h): a change of wording is an edit here.
// Texts are UTF-8; names and paths come in as UTF-8 too. run_texts.h makes a run's facts into
// these texts.
namespace sigilflip::texts {

// Our own reasons for a failed file call, where the systems' words would mislead ("Access is
// denied"). They complete CannotAccess.
inline constexpr const char* kFolderReason = "It is a folder, not a file";
inline constexpr const char* kNotAFileReason = "It is a device, a pipe or a socket, not a file";
inline constexpr const char* kReadOnlyReason = "It is read-only";
inline constexpr const char* kInUseReason = "It is open in another program";
// Linux: names that differ from the file's only in the case of their letters.
inline std::string SeveralMatchesReason(std::string_view names) {
  return "Several files have this name in other letter cases (" + std::string(names) +
         "); Windows would not tell them apart. Keep one of them";
}
// Linux: a link that neither the user nor the system made.
inline constexpr const char* kOthersLinkReason =
    "It is a link that another user made, and Sigilflip follows only your own links and the "
    "system's. Remove the link, or make it yourself";
// Windows: where Windows' own words do not say what to do.
inline constexpr const char* kProtectedFolderReason =
    "Windows protects this folder from programs that are not run as administrator. Copy the game "
    "to a folder of your own, or start Sigilflip as administrator";
inline constexpr const char* kBlockedWriteReason =
    "Windows Security blocked the write (Controlled folder access). To allow it, open Windows "
    "Security, Virus & threat protection, Manage ransomware protection, Allow an app through "
    "Controlled folder access, and add Sigilflip";
inline constexpr const char* kCloudFileReason =
    "It could not be fetched from the cloud. The sync app (such as OneDrive) must be running and "
    "online";
inline constexpr const char* kNotKeptReason =
    "The file system would delete the new file once it is closed";

// Whether `text` ends in a full stop of a script with one of its own (Japanese and Chinese 。,
// Hindi ।, Urdu ۔, Armenian ։, Amharic ።, Burmese ။), which the system's words keep.
inline bool EndsInOwnFullStop(std::string_view text) {
  for (const std::string_view stop : {"。", "．", "｡", "।", "۔", "։", "።", "။"}) {
    if (text.ends_with(stop)) {
      return true;
    }
  }
  return false;
}

// A file call that failed: "Cannot read PATH:\nREASON." (`access` is "read" or "write"); the
// system's own full stop, where its words end in one, stands for ours.
inline std::string CannotAccess(std::string_view access, std::string_view path,
                                std::string_view reason) {
  return "Cannot " + std::string(access) + " " + std::string(path) + ":\n" + std::string(reason) +
         (EndsInOwnFullStop(reason) ? "" : ".");
}

// A game folder that names nothing at all (a mistyped path, or a file's name in other letter
// cases): said of that path, not of the magic.ini it would hold.
inline std::string NoSuchFolder(std::string_view path) {
  return std::string(path) + ": no such file or folder.";
}

inline std::string OutputLeadsToInput(std::string_view output, std::string_view input) {
  return std::string(output) + " leads to " + std::string(input) +
         " itself. Sigilflip does not overwrite the file it reads.";
}

inline std::string TooManyRunes(std::string_view input, int limit) {
  return std::string(input) + " names more than " + std::to_string(limit) +
         " different runes. Sigilflip shuffles at most " + std::to_string(limit) + ".";
}

inline std::string ChangedWhileReading(std::string_view input, std::string_view rune) {
  return std::string(input) + " changed while Sigilflip was reading it: the rune \"" +
         std::string(rune) + "\" was not in it before.";
}

inline std::string ChangedWhileReading(std::string_view input) {
  return std::string(input) + " changed while Sigilflip was reading it.";
}

// A fault of Sigilflip's own, which `what` describes.
inline std::string Unexpected(std::string_view what) {
  return "Sigilflip could not finish the run: " + std::string(what) + ".";
}

inline std::string OutOfMemory(std::string_view input) {
  return "Sigilflip ran out of memory while shuffling " + std::string(input) + ".";
}

// The warning of the check for a rune whose name `count` slots carry as their new name.
inline std::string RuneError(int count, std::string_view name) {
  return "Rune error : count = " + std::to_string(count) + " : " + std::string(name);
}

// After the reason, when there is no magic.ini: how to hand Sigilflip the game's.
#ifdef _WIN32
inline constexpr const char* kWhereTheGameIs =
    "Copy Sigilflip.exe into the game's folder, beside its magic.ini, or drop the game's magic.ini "
    "on Sigilflip.exe.";
#else
inline constexpr const char* kWhereTheGameIs =
    "Open the game's magic.ini with Sigilflip in the file manager, or start Sigilflip with the "
    "game's folder: Sigilflip FOLDER.";
#endif

// How to start the program, for a message box and the terminal.
inline constexpr const char* kUsage =
    "Usage: Sigilflip [--run] [--seed N] [FOLDER | FILE]\n\n"
    "Sigilflip shuffles the rune names of the magic.ini in FOLDER, or in the folder that holds "
    "FILE (as when magic.ini is dropped on the program), and writes magic-new.ini beside it. "
    "Without either, it works on the magic.ini beside the program.\n\n"
    "--run: shuffles once, without a window. The mapping goes to standard output, one "
    "\"old => new\" a line; the warnings and \"Seed: N\" go to standard error. Exits with 0 when "
    "magic-new.ini was written, 1 when the run failed, 2 for a wrong command line, 3 when "
    "magic-new.ini was written but its lines could not all be printed.\n\n"
    "--seed N: shuffles with the seed N, a whole number from 0 to 4294967295, instead of the "
    "time of day. The same seed and the same magic.ini give the same shuffle, on Linux and on "
    "Windows. For example,\n\n"
#ifdef _WIN32
    "Sigilflip.exe --run --seed 1234 \"C:\\Games\\Game\"\n\n"
#else
    "Sigilflip --run --seed 1234 ~/Games/Game\n\n"
#endif
    "writes the shuffle that a friend shared as the seed 1234.";

// --run: magic-new.ini was written, but standard output or standard error refused some of its
// lines (a closed pipe, a full disk); `reason` is the system's.
inline std::string NotPrinted(std::string_view reason) {
  return "Sigilflip: magic-new.ini was written, but not all of its mapping and warnings could be "
         "printed: " +
         std::string(reason) + ".";
}

// Linux: no display to show the window on (over ssh, say).
inline constexpr const char* kNoDisplay =
    "Sigilflip cannot open its window: there is no display (neither DISPLAY nor WAYLAND_DISPLAY "
    "is set). Sigilflip --run shuffles without one.";

// Windows: the window could not be made; `reason` is the system's.
inline std::string CannotOpenWindow(std::string_view reason) {
  return "Sigilflip cannot open its window:\n" + std::string(reason) + ".";
}

}  // namespace sigilflip::texts
