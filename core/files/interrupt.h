#pragma once
// POSIX: a run stopped by Ctrl-C, a hang-up or a termination request removes its named temporary
// file first. (Windows removes a file marked for deletion however the process ends.)

#include <string>

namespace quorvel {

// Installs the handler, once, at the start of the program.
void RemoveTemporaryOnInterrupt();

// The named temporary file that an interrupt removes, one at a time; none after ForgetOnInterrupt.
void RemoveOnInterrupt(const std::string& path);
void ForgetOnInterrupt();

}  // namespace quorvel
