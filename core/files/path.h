#pragma once
// Paths as names of files: whether two name one file, whether one names standard output, whether
// one names a folder; and (Windows) the form in which a path reaches the system.

#include <string>

namespace quorvel {

// True when a and b name one file: another spelling, letter case where the system ignores it, a
// short name, a hard or a symbolic link. Two names of which neither exists yet are one file when
// they name the same entry of the same folder.
bool IsSameFile(const std::string& a, const std::string& b);

// Whether path names the file or stream that is the process's standard output: /dev/stdout, or the
// file that standard output was sent to.
bool NamesStandardOutput(const std::string& path);

// Whether path names a folder (links followed).
bool IsFolder(const std::string& path);

// Whether path names a pipe of the file system (a FIFO), which opening waits on until a writer
// comes (links followed). Windows has none.
bool IsPipe(const std::string& path);

#ifdef _WIN32
// The form in which a path reaches the system: full, resolved ("..", ".", "/"), and prefixed with
// \\?\ (\\?\UNC\ for a network path) so that no length limit applies. Devices (\\.\NUL) stay as
// they are.
std::wstring SystemPath(const std::string& path);
#endif

}  // namespace quorvel
