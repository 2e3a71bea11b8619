#include "run_check.h"

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>

#include "recording_view.h"
#include "run/sigilflipper.h"
#include "text/code_page.h"  // for the texts that the view shows

namespace sigilflip::testing {
namespace {

namespace fs = std::filesystem;

// The lines of a rune file, held whole (fine for a check).
std::vector<std::string_view> SplitInput(std::string_view text) {
  std::vector<std::string_view> lines;
  const bool carriageReturns = text.find('\r') != std::string_view::npos;
  std::size_t start = 0;
  std::size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (carriageReturns ? c == '\r' : c == '\n') {
      lines.push_back(text.substr(start, i - start));
      ++i;
      if (carriageReturns && i < text.size() && text[i] == '\n') {
        ++i;
      }
      start = i;
    } else {
      ++i;
    }
  }
  if (start < text.size()) {
    lines.push_back(text.substr(start));
  }
  return lines;
}

// Windows-1252 upper case, written out here apart from the core's table so that a fault there
// shows: ASCII letters, the accented letters of the 0xE0 row but the division sign, and the pairs
// that Windows-1252 places elsewhere (š Š, œ Œ, ž Ž, ÿ Ÿ).
char Upper(char c) {
  const auto byte = static_cast<unsigned char>(c);
  if ((byte >= 'a' && byte <= 'z') || (byte >= 0xE0 && byte <= 0xFE && byte != 0xF7)) {
    return static_cast<char>(byte - 0x20);
  }
  switch (byte) {
    case 0x9A:
    case 0x9C:
    case 0x9E:
      return static_cast<char>(byte - 0x10);
    case 0xFF:
      return '\x9F';
    default:
      return c;
  }
}

// The name without the spaces (U+0020 only) around it.
std::string_view Stripped(std::string_view name) {
  while (!name.empty() && name.front() == ' ') {
    name.remove_prefix(1);
  }
  while (!name.empty() && name.back() == ' ') {
    name.remove_suffix(1);
  }
  return name;
}

std::string Key(std::string_view name) {
  std::string key(Stripped(name));
  for (char& c : key) {
    c = Upper(c);
  }
  return key;
}

int KeyNumber(std::string_view line) {
  if (line.size() < 6) {
    return 0;
  }
  std::string head;
  for (char c : line.substr(0, 6)) {
    head += Upper(c);
  }
  for (char n = '1'; n <= '5'; ++n) {
    if (head == std::string("RUNE") + n + "=") {
      return n - '0';
    }
  }
  return 0;
}

std::string Quote(std::string_view text) {
  std::ostringstream out;
  out << '"';
  for (char c : text.substr(0, 60)) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F) {
      out << c;
    } else {
      out << "\\x" << std::hex << int{byte} << std::dec;
    }
  }
  out << (text.size() > 60 ? "...\"" : "\"");
  return out.str();
}

}  // namespace

RunOutcome RunIn(const fs::path& folder, RuneTable& table, RandomSource& random) {
  RunOutcome outcome;
  RecordingView view;
  outcome.succeeded = view.Take(Sigilflipper(table, folder, random));
  outcome.list = std::move(view.list);
  outcome.warnings = std::move(view.warnings);
  outcome.errors = std::move(view.errors);
  std::ifstream output(folder / kOutputName, std::ios::binary);
  if (output) {
    std::string& bytes = outcome.output.emplace(fs::file_size(folder / kOutputName), '\0');
    output.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name != kInputName && name != kOutputName) {
      outcome.strayFiles.push_back(name);
    }
  }
  return outcome;
}

std::string CheckRun(std::string_view input, const RunOutcome& outcome, const RuneTable& table) {
  if (!outcome.strayFiles.empty()) {
    return "the run left " + outcome.strayFiles.front() + " behind";
  }
  if (!outcome.succeeded) {
    if (outcome.errors.size() != 1 || outcome.errors[0].empty()) {
      return "a failed run shows " + std::to_string(outcome.errors.size()) + " errors";
    }
    if (outcome.output) {
      return "a failed run wrote magic-new.ini";
    }
    return {};
  }
  if (!outcome.errors.empty()) {
    return "a run that succeeded shows an error: " + outcome.errors[0];
  }
  if (!outcome.output) {
    return "no magic-new.ini";
  }

  // A byte order mark at the start is no line's, and is written back.
  std::string_view output = *outcome.output;
  constexpr std::string_view kMark = "\xEF\xBB\xBF";
  if (input.starts_with(kMark)) {
    if (!output.starts_with(kMark)) {
      return "the byte order mark is not written back";
    }
    input.remove_prefix(kMark.size());
    output.remove_prefix(kMark.size());
  }

  // The runes in the order they are first met, and the new name each line got.
  std::vector<std::string> keys;
  std::map<std::string, std::string> firstSpelling;
  std::map<std::string, std::string> newNameOf;
  const std::vector<std::string_view> lines = SplitInput(input);
  std::size_t position = 0;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::size_t end = output.find("\r\n", position);
    if (end == std::string_view::npos) {
      return "output has " + std::to_string(i) + " lines for " + std::to_string(lines.size());
    }
    const std::string_view written = output.substr(position, end - position);
    position = end + 2;
    const std::string where = "line " + std::to_string(i + 1) + ": ";
    const int number = KeyNumber(lines[i]);
    if (number == 0) {
      if (written != lines[i]) {
        return where + Quote(lines[i]) + " was written as " + Quote(written);
      }
      continue;
    }
    const std::string prefix = "Rune" + std::to_string(number) + "=";
    if (written.substr(0, 6) != prefix) {
      return where + "rune line written as " + Quote(written);
    }
    const std::string key = Key(lines[i].substr(6));
    const std::string newName(written.substr(6));
    if (firstSpelling.emplace(key, Stripped(lines[i].substr(6))).second) {
      keys.push_back(key);
      newNameOf[key] = newName;
    } else if (newNameOf[key] != newName) {
      return where + "the rune " + Quote(key) + " got two new names";
    }
  }
  if (position != output.size()) {
    return "output has more lines than the input's " + std::to_string(lines.size());
  }

  // The table holds the runes in that order, and the lines got the table's new names.
  if (table.RuneCount() != static_cast<int>(keys.size())) {
    return "table holds " + std::to_string(table.RuneCount()) + " runes, the file names " +
           std::to_string(keys.size());
  }
  std::vector<std::string> names;
  std::vector<std::string> newNames;
  std::vector<std::string> items;
  for (std::size_t i = 0; i < keys.size(); ++i) {
    const RuneRecord& rune = table.Runes(static_cast<Int16>(i + 1));
    if (rune.Name != firstSpelling[keys[i]] || rune.NewName != newNameOf[keys[i]]) {
      return "slot " + std::to_string(i + 1) + " does not match the file: " + Quote(rune.Name);
    }
    names.push_back(rune.Name);
    newNames.push_back(rune.NewName);
    items.push_back(CodePage::Get(1252).ToUtf8(rune.Name + " => " + rune.NewName));
  }
  std::sort(names.begin(), names.end());
  std::sort(newNames.begin(), newNames.end());
  if (names != newNames) {
    return "the new names are not a permutation of the names";
  }
  if (outcome.list != items) {
    return "the list does not show the table";
  }

  // Only a rune with an empty name is not used exactly once: the unnamed rune it leaves behind
  // and every free slot also carry the empty name.
  std::vector<std::string> warnings;
  for (std::size_t i = 0; i < keys.size(); ++i) {
    const std::size_t uses = RuneTable::kRuneSlots - keys.size() + 1;
    if (firstSpelling[keys[i]].empty() && uses != 1) {
      warnings.push_back("Rune error : count = " + std::to_string(uses) + " : ");
    }
  }
  if (outcome.warnings != warnings) {
    return "warnings do not match: " + std::to_string(outcome.warnings.size()) + " shown";
  }
  return {};
}

}  // namespace sigilflip::testing
