#pragma once
// What the program makes of its command line: a layout to open at start.

#include <optional>
#include <string>
#include <vector>

namespace quorvel {

// The layout file the program was started with (a file dropped onto its icon, "Open with"): the one
// argument, as a full path, for the file choosers move the current folder later on. None for no
// argument, an empty one, or more than one.
std::optional<std::string> StartLayoutPath(const std::vector<std::string>& arguments);

}  // namespace quorvel
