#pragma once

#include <filesystem>
#include <optional>
#include <vector>

// Where the game is: how `Sigilflip [FOLDER | FILE]` finds the folder of the magic.ini it works
// on. Standard C++, shared by both front ends.
namespace sigilflip::form1 {

// The folder of the magic.ini to work on, settled once at start from the arguments after the
// program's name: none, the program's own folder; a folder; a file, the folder that holds it.
// Paths are settled by the platform's rules (relative ones from the current folder; Windows
// network and \\?\ paths as Windows takes them). A path that does not exist is taken for a
// folder (or, named magic.ini, for the file in its folder), so that the first run says which
// magic.ini is missing. Nothing, when the arguments are not ones Sigilflip knows (more than one,
// an empty one, or an option): the program then says how to start it.
std::optional<std::filesystem::path> GameFolder(const std::vector<std::filesystem::path>& arguments,
                                                const std::filesystem::path& programFolder);

}  // namespace sigilflip::form1
