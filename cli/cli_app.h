#pragma once
// The command-line tool: the same core as the dialog, for scripts and build servers.

#include <iosfwd>
#include <string>
#include <vector>

#include "text/language.h"

namespace quorvel {

// Exit codes.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;  // the writer reported a failure, or there is nothing to write
inline constexpr int kExitUsage = 2;   // the command line or the layout file cannot be used

// Runs the tool on args (UTF-8, args[0] the program name); writes to out and err, the tool's own
// words in the language given.
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, Language language);

}  // namespace quorvel
