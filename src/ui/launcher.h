#pragma once

#include <functional>
#include <string_view>

#include "command_line.h"
#include "run_without_window.h"

// What the program does with its command line, the same on both systems: answers --help and
// --version, says how to start it, runs once without a window, or opens the window. Standard C++;
// each front end gives what it has of its system.
namespace sigilflip::form1 {

struct Launcher {
  Console& console;          // standard output and error (on Windows, the starter's console)
  bool hasConsole;           // anywhere to write them; else the answers go in a box
  bool hasDisplay;           // a screen for a window
  std::string_view version;  // as users read it ("1.00")
  std::function<void(std::string_view)> box;          // a box without an icon
  std::function<int(const CommandLine&)> openWindow;  // until it is closed; its exit status
};

// Starts the program as `line` says, with `launcher`; returns its exit status.
int Launch(const CommandLine& line, const Launcher& launcher);

}  // namespace sigilflip::form1
