#pragma once
// Inside this folder: the system's steps of a replacement file, one implementation for POSIX and one
// for Windows. replacement_file.cpp takes them in order: find the place, make the new file beside
// it, write, flush, put it in place, or discard it.

#include <optional>
#include <string>

#include "files/file.h"

namespace quorvel::replacement {

// Where the new file goes: path with links followed (in the system's form on Windows).
struct Place {
  std::string target;
  bool exists = false;
  bool device = false;  // written as it is, never replaced
};
// None, the reason kept, when nothing may be written there: a folder, or a file the user may not
// write or that another program holds.
std::optional<Place> Find(const std::string& path);

// The temporary files that runs which ended (killed) left in the target's folder go.
void RemoveStaleTemporaries(const std::string& target);

// A new file in the target's folder that takes the target's permissions: unnamed where the system
// allows (name empty), else with a name of ours that interrupts remove, locked against the removal
// of stale ones; on Windows marked for deletion until it is put in place.
struct Temporary {
  File file;
  std::string name;
};
std::optional<Temporary> CreateBeside(const Place& place);
// Whether the last failure was the system refusing access: no file may be made in the folder.
bool AccessDenied();
// The target itself, to be written directly: a device as it is, a file emptied.
std::optional<File> OpenTarget(const Place& place);

// After the flush: the new file takes the target's name; an unnamed one gets a temporary name first.
// temporary is empty once the file stands at the target.
bool PutInPlace(File& file, std::string& temporary, const std::string& target);
void Truncate(File& file);
void RemoveTemporary(const std::string& name);
// Removes the target when it is an ordinary file.
void RemoveOrdinaryFile(const std::string& target);

}  // namespace quorvel::replacement
